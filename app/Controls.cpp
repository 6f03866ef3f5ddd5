#include "app/Controls.h"

#include <QFocusEvent>
#include <QFont>
#include <QPainter>
#include <QRegularExpressionValidator>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QValidator>

void InstallFontSubstitutes() {
    static const bool done = [] {
        QFont::insertSubstitutions(QStringLiteral("맑은 고딕"), {QStringLiteral("NanumGothic"),
                                                                 QStringLiteral("Noto Sans CJK KR"),
                                                                 QStringLiteral("DejaVu Sans")});
        QFont::insertSubstitutions(
            QStringLiteral("Lucida Console"),
            {QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Monospace")});
        return true;
    }();
    (void)done;
}

QFont UiFont(int pixelSize, bool bold) {
    QFont font(QStringLiteral("맑은 고딕"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QFont MonoFont(int pixelSize, bool bold) {
    QFont font(QStringLiteral("Lucida Console"));
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

namespace {

// Folds what is typed or pasted to capitals.
class TUpperCaseValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        input = input.toUpper();
        return Acceptable;
    }
};

}  // namespace

void SetColors(QWidget* w, const QColor& background, const QColor& text) {
    // A locked box shows the button face and grey text, as on the platform's own controls, so
    // that it never looks like one the operator can type into.
    static const QColor lockedFace(0xF0, 0xF0, 0xF0);
    static const QColor lockedText(0x6D, 0x6D, 0x6D);
    QPalette palette = w->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Window, background);
        palette.setColor(group, QPalette::Base, background);
        palette.setColor(group, QPalette::Text, text);
        palette.setColor(group, QPalette::WindowText, text);
    }
    palette.setColor(QPalette::Disabled, QPalette::Window, background);
    palette.setColor(QPalette::Disabled, QPalette::Base, lockedFace);
    palette.setColor(QPalette::Disabled, QPalette::Text, lockedText);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, lockedText);
    w->setPalette(palette);
}

TPanel::TPanel(QWidget* parent, const QColor& background, TBevel bevel) : QFrame(parent) {
    SetColors(this, background);
    setAutoFillBackground(true);
    if (bevel == TBevel::Lowered) {
        setFrameStyle(QFrame::Panel | QFrame::Sunken);
        setLineWidth(1);
    }
}

void TPanel::SetCaption(const QString& caption, Qt::Alignment alignment, const QColor& color) {
    FCaption = caption;
    FAlignment = alignment;
    FCaptionColor = color;
    update();
}

void TPanel::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    if (FCaption.isEmpty())
        return;
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(FCaptionColor);
    painter.drawText(contentsRect(), int(FAlignment | Qt::AlignVCenter) | Qt::TextSingleLine,
                     FCaption);
}

TEdit::TEdit(QWidget* parent, TCharCase charCase, bool numbersOnly) : QLineEdit(parent) {
    // Its own white, not the panel's colour: a box on the grey header must stand out from it.
    SetColors(this, Qt::white);
    if (numbersOnly) {
        setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this));
    } else if (charCase == TCharCase::UpperCase) {
        setValidator(new TUpperCaseValidator(this));
    }
}

void TEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // Only moving to another control of the window leaves the box. A dialog opening over the
    // window or a switch to another application takes the focus away without leaving it, and
    // the box has it again when the window is active again.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    emit OnExit();
}

TComboBox::TComboBox(QWidget* parent, bool editable, const QStringList& items) : QComboBox(parent) {
    setEditable(editable);
    if (editable)
        setInsertPolicy(QComboBox::NoInsert);
    addItems(items);
}

void TComboBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    // A fixed list is drawn as a button by the style, which ignores the box's own colour; its
    // text field gets that colour here, as an editable box's field has it.
    if (!isEditable())
        painter.fillRect(style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                 QStyle::SC_ComboBoxEditField, this),
                         palette().brush(QPalette::Base));
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

int TComboBox::ItemIndex() const {
    const int row = currentIndex();
    if (!isEditable() || row < 0)
        return row;
    if (itemText(row) == currentText())
        return row;
    return findText(currentText(), Qt::MatchExactly | Qt::MatchCaseSensitive);
}

void TComboBox::SetItemIndex(int row) {
    if (row < 0 || row >= count()) {
        setCurrentIndex(-1);
        if (isEditable())
            setEditText(QString());
        return;
    }
    setCurrentIndex(row);
    if (isEditable())
        setEditText(itemText(row));
}

TRadioGroup::TRadioGroup(QWidget* parent, const QString& caption, const QStringList& items)
    : QGroupBox(caption, parent) {
    for (const QString& item : items) {
        auto* button = new QRadioButton(item, this);
        connect(button, &QRadioButton::clicked, this, &TRadioGroup::OnClick);
        FButtons.append(button);
    }
}

int TRadioGroup::ItemIndex() const {
    for (int i = 0; i < FButtons.size(); ++i) {
        if (FButtons[i]->isChecked())
            return i;
    }
    return -1;
}

void TRadioGroup::SetItemIndex(int row) {
    if (row >= 0 && row < FButtons.size())
        FButtons[row]->setChecked(true);
}

void TRadioGroup::resizeEvent(QResizeEvent* event) {
    QGroupBox::resizeEvent(event);
    // The items share the height below the caption equally.
    const int top = fontMetrics().height();
    const int rows = qMax(1, int(FButtons.size()));
    const int rowHeight = (height() - top - 4) / rows;
    for (int i = 0; i < FButtons.size(); ++i) {
        FButtons[i]->setGeometry(8, top + i * rowHeight, width() - 12, rowHeight);
    }
}

TMemo::TMemo(QWidget* parent) : QPlainTextEdit(parent) {
    SetColors(this, Qt::white);
    setReadOnly(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setUndoRedoEnabled(false);
}

void TMemo::AlignToBottom() {
    if (!FAlignedToBottom && parentWidget() != nullptr) {
        FAlignedToBottom = true;
        parentWidget()->installEventFilter(this);
    }
    FollowParent();
}

bool TMemo::eventFilter(QObject* watched, QEvent* event) {
    if (FAlignedToBottom && watched == parentWidget() && event->type() == QEvent::Resize)
        FollowParent();
    return QPlainTextEdit::eventFilter(watched, event);
}

void TMemo::FollowParent() {
    if (const QWidget* page = parentWidget())
        setGeometry(0, page->height() - height(), page->width(), height());
}

TStatusBar::TStatusBar(QWidget* parent) : QFrame(parent), FPanel(new QLabel(this)) {
    setFrameStyle(QFrame::NoFrame);
    FPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // The status carries the link settings as typed; they are never taken for markup.
    FPanel->setTextFormat(Qt::PlainText);
    FPanel->setContentsMargins(2, 0, 2, 0);
}

void TStatusBar::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    FPanel->setGeometry(rect());
}

QLabel* MakeLabel(QWidget* parent, const QString& name, const QString& caption, int left, int top,
                  const QFont& font, const QColor& color) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    label->adjustSize();
    label->move(left, top);
    return label;
}
