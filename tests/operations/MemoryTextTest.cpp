#include <sys/stat.h>

#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QLocalServer>
#include <QTest>

#include "operations/MemoryTextBox.h"
#include "operations/OperationState.h"
#include "support/MainWindowFixture.h"
#include "widgets/DsFancyButton.h"

namespace {

class MemoryFile : public MainWindowFixture {
protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        Start();
    }

    QString Path(const QString& name) const { return FDir.filePath(name); }
    void WriteFile(const QString& path, const QByteArray& bytes) const {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    QByteArray ReadFile(const QString& path) const {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    // Chooses the file in the next file dialog; Proposed keeps the name the program offered.
    void ChooseFile(const QString& path) {
        Dialogs.AnswerWith([this, path](QWidget* w) {
            Proposed = W->SaveDialog1.FileName;
            DialogAnswerer::TypeFileName(w, path);
        });
    }
    void CancelFileDialog() {
        Dialogs.AnswerWith([this](QWidget* w) {
            Proposed = W->SaveDialog1.FileName;
            qobject_cast<QDialog*>(w)->reject();
        });
    }
    void Open(const QString& path) {
        ChooseFile(path);
        QTest::mouseClick(W->BTOpen, Qt::LeftButton);
    }
    void Save(const QString& path) {
        ChooseFile(path);
        QTest::mouseClick(W->BTSave, Qt::LeftButton);
    }
    QString Text() const { return MemoryText(*W->mmOpen); }
    QString LastShown() const { return Dialogs.Texts().value(Dialogs.Texts().size() - 1); }

    QString Proposed;
};

TEST_F(MemoryFile, SaveWritesTheTextAsItIsAndNamesTheFileInTwoLines) {
    W->CB_Model->SetItemIndex(1);
    SetMemoryText(*W->mmOpen, QStringLiteral("0A1Bff"));
    const QString path = Path(QStringLiteral("copy.dat"));
    Save(path);
    EXPECT_EQ(Proposed, QStringLiteral("Kestra M1,M2.txt"));
    EXPECT_EQ(ReadFile(path), QByteArray("0A1Bff")) << "no mark, no terminator, no extension added";
    EXPECT_EQ(LastShown(), path + QStringLiteral("\r 파일명으로 저장되었습니다."));
    EXPECT_EQ(Dialogs.Seen().last().kind, QStringLiteral("information"));
}

TEST_F(MemoryFile, SaveWithNothingToSaveOrCancelledSaysSoAndWritesNothing) {
    QTest::mouseClick(W->BTSave, Qt::LeftButton);
    EXPECT_EQ(Dialogs.Texts(), QStringList{QStringLiteral("저장할 내용이 없습니다!")})
        << "no file dialog for an empty text";

    Dialogs.Clear();
    W->CB_Model->SetItemIndex(-1);
    SetMemoryText(*W->mmOpen, QStringLiteral("00"));
    CancelFileDialog();
    QTest::mouseClick(W->BTSave, Qt::LeftButton);
    EXPECT_EQ(Proposed, QStringLiteral(".txt")) << "no row selected";
    EXPECT_EQ(LastShown(), QStringLiteral("저장이 취소되었습니다."));
}

TEST_F(MemoryFile, FileErrorsEndTheClickInTheErrorBoxAndKeepTheText) {
    SetMemoryText(*W->mmOpen, QStringLiteral("00"));
    const QString unwritable = Path(QStringLiteral("missing/dir/copy.txt"));
    Save(unwritable);
    // The name as the dialog gave it back: the dialog resolves a folder that does not exist in
    // its own way.
    const QString chosen = W->SaveDialog1.FileName;
    EXPECT_TRUE(chosen.endsWith(QStringLiteral("/missing/dir/copy.txt"))) << chosen.toStdString();
    EXPECT_EQ(LastShown(),
              QStringLiteral("Cannot create file \"%1\". No such file or directory.").arg(chosen));
    EXPECT_EQ(Dialogs.Seen().last().kind, QStringLiteral("error"));

    // A socket exists in the folder but cannot be opened as a file.
    QLocalServer socket;
    const QString unreadable = Path(QStringLiteral("socket.txt"));
    ASSERT_TRUE(socket.listen(unreadable));
    Open(unreadable);
    EXPECT_EQ(
        LastShown(),
        QStringLiteral("Cannot open file \"%1\". No such device or address.").arg(unreadable));
    EXPECT_EQ(Text(), QStringLiteral("00"));

    // A FIFO would block the window, and a file over a mebibyte is no memory file.
    const QString fifo = Path(QStringLiteral("fifo.txt"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    Open(fifo);
    EXPECT_EQ(LastShown(),
              QStringLiteral("Cannot open file \"%1\". Not a regular file.").arg(fifo));
    const QString huge = Path(QStringLiteral("huge.txt"));
    WriteFile(huge, QByteArray(1024 * 1024 + 1, 'A'));
    Open(huge);
    EXPECT_EQ(LastShown(), QStringLiteral("Cannot open file \"%1\". File too large.").arg(huge));
    EXPECT_EQ(Text(), QStringLiteral("00"));
}

TEST_F(MemoryFile, OpenTakesAnyFileWithCrLfBreaksAndLeavesTheImageAlone) {
    OpState.MemImage[0] = 0x77;
    SetMemoryText(*W->mmOpen, QStringLiteral("FF"));
    const QString path = Path(QStringLiteral("any.bin"));
    WriteFile(path, QByteArray("0A\n1B\rxyz \r\n"));
    Open(path);
    EXPECT_EQ(Text(), QStringLiteral("0A\r\n1B\r\nxyz \r\n"));
    EXPECT_EQ(OpState.MemImage[0], 0x77);
    EXPECT_EQ(Dialogs.Seen().size(), 1) << "only the file dialog";

    CancelFileDialog();
    QTest::mouseClick(W->BTOpen, Qt::LeftButton);
    EXPECT_EQ(Text(), QStringLiteral("0A\r\n1B\r\nxyz \r\n"));
}

TEST_F(MemoryFile, AFileEndingInALineBreakGivesAZeroJustPastTheData) {
    const QString data = QString(QStringLiteral("C3")).repeated(4056);
    const QString path = Path(QStringLiteral("row0.txt"));
    WriteFile(path, data.toLatin1() + "\n");
    Open(path);
    OpState.MemImage.fill(0x5A);
    W->InputRxDataFromReadFile();
    EXPECT_EQ(OpState.MemImage[4055], 0xC3);
    EXPECT_EQ(OpState.MemImage[4056], 0x00);
    EXPECT_EQ(OpState.MemImage[4057], 0x00);
    EXPECT_EQ(OpState.MemImage[4058], 0x5A);
}

TEST_F(MemoryFile, ANamePastedBeforeTheFolderIsListedIsTheFileOpened) {
    // The dialog proposes the file opened before. An operator who pastes another name before
    // the dialog has listed a large folder must get that file, not the proposal.
    const QString first = Path(QStringLiteral("first.txt"));
    const QString second = Path(QStringLiteral("second.txt"));
    WriteFile(first, "11");
    WriteFile(second, "22");
    for (int i = 0; i < 3000; ++i)
        WriteFile(Path(QStringLiteral("f%1.txt").arg(i)), "");
    Open(first);
    ASSERT_EQ(Text(), QStringLiteral("11"));
    Dialogs.AnswerWith([&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        auto* box = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(box, nullptr);
        QTest::mouseClick(box, Qt::LeftButton);
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        box->insert(QStringLiteral("second.txt"));
        // The listing arrives while the operator moves to the Open button.
        QTest::qWait(300);
        DialogAnswerer::Press(dialog, QStringLiteral("Open"));  // the dialog checks the name
    });
    QTest::mouseClick(W->BTOpen, Qt::LeftButton);
    EXPECT_EQ(W->OpenDialog1.FileName, second);
    EXPECT_EQ(Text(), QStringLiteral("22"));
}

TEST_F(MemoryFile, SaveWritesInTheFormOfTheLastFileOpened) {
    const struct {
        const char* name;
        QByteArray file;
    } marked[] = {
        {"utf8.txt", QByteArray::fromHex("EFBBBF") + "0A1B\r\n2C"},
        {"le.txt", QByteArray::fromHex("FFFE3000410031004200")},
        {"be.txt", QByteArray::fromHex("FEFF0030004100310042")},
    };
    const QString plain = Path(QStringLiteral("plain.txt"));
    WriteFile(plain, "9F");
    for (const auto& m : marked) {
        const QString path = Path(QString::fromLatin1(m.name));
        WriteFile(path, m.file);
        Open(path);
        const QString back = Path(QStringLiteral("back-") + QString::fromLatin1(m.name));
        Save(back);
        EXPECT_EQ(ReadFile(back), m.file) << m.name;

        // A file without a mark opened afterwards is saved back as plain single-byte hex.
        Open(plain);
        EXPECT_EQ(Text(), QStringLiteral("9F"));
        const QString again = Path(QStringLiteral("again-") + QString::fromLatin1(m.name));
        Save(again);
        EXPECT_EQ(ReadFile(again), QByteArray("9F")) << m.name;
    }
}

}  // namespace
