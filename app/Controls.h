#pragma once

#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QString>
#include <QStringList>

// Small standard controls of the main window, with the few behaviours the program relies on that
// Qt's own widgets do not have by default.

// The window's fonts. "맑은 고딕" and "Lucida Console" are substituted by installed fonts when
// they are missing, so that Korean captions render.
void InstallFontSubstitutes();
QFont UiFont(int pixelSize, bool bold);
QFont MonoFont(int pixelSize, bool bold);

// The colours of a control: its background and text, and the grey look it has while locked. A
// panel's children take its colours unless they set their own.
void SetColors(QWidget* w, const QColor& background, const QColor& text = Qt::black);

// A panel: background colour, optional bevel and a caption drawn in it.
class TPanel : public QFrame {
public:
    enum class TBevel { None, Lowered };
    TPanel(QWidget* parent, const QColor& background, TBevel bevel = TBevel::None);

    QString Caption() const { return FCaption; }
    void SetCaption(const QString& caption, Qt::Alignment alignment, const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString FCaption;
    Qt::Alignment FAlignment = Qt::AlignCenter;
    QColor FCaptionColor;
};

// One-line edit. Upper-case boxes turn typed letters into capitals; digits-only boxes take only
// 0 to 9.
class TEdit : public QLineEdit {
    Q_OBJECT
public:
    enum class TCharCase { Normal, UpperCase };
    explicit TEdit(QWidget* parent, TCharCase charCase = TCharCase::Normal,
                   bool numbersOnly = false);

signals:
    // The focus left the box (QLineEdit has no such signal; the exit handlers need one).
    void OnExit();

protected:
    void focusOutEvent(QFocusEvent* event) override;
};

// Drop-down box whose selected row is -1 when the shown text is not one of its rows, so that an
// editable box on which the operator typed something else counts as having no row selected.
class TComboBox : public QComboBox {
public:
    TComboBox(QWidget* parent, bool editable, const QStringList& items);

    int ItemIndex() const;
    // A row outside the list leaves no row selected and an empty box.
    void SetItemIndex(int row);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// Radio group: a captioned frame of radio buttons stacked top to bottom.
class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    TRadioGroup(QWidget* parent, const QString& caption, const QStringList& items);

    int ItemIndex() const;
    // Selecting in code does not fire OnClick; the caller runs the click handler when it wants it.
    void SetItemIndex(int row);
    QRadioButton* Button(int row) const { return FButtons.value(row); }

signals:
    void OnClick();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QList<QRadioButton*> FButtons;
};

// Read-only multi-line text with a vertical scroll bar.
class TMemo : public QPlainTextEdit {
public:
    explicit TMemo(QWidget* parent);

    // Keeps the box at the bottom of its parent, as wide as the parent, at its current height.
    void AlignToBottom();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool FAlignedToBottom = false;
    void FollowParent();
};

// Status bar with one text panel spanning the whole bar.
class TStatusBar : public QFrame {
public:
    explicit TStatusBar(QWidget* parent);
    QString PanelText() const { return FPanel->text(); }
    void SetPanelText(const QString& text) { FPanel->setText(text); }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QLabel* FPanel;
};

// A label placed at its left and top, sized to its text.
QLabel* MakeLabel(QWidget* parent, const QString& name, const QString& caption, int left, int top,
                  const QFont& font, const QColor& color = Qt::black);
