#include "app/Main.h"
#include "operations/MemoryTextBox.h"
#include "operations/MemoryTextCodec.h"
#include "operations/MemoryTextFile.h"
#include "operations/OperationState.h"
#include "protocol/Qb_lib02.h"

void TFMmain::RxDataSave() {
    // The byte count field is not consulted: the block's own length is taken, and the receive
    // path hands over only replies long enough to carry it.
    constexpr int kDataStart = 3;
    QString hex;
    hex.reserve(OpState.ReadLen * 2);
    for (int i = 0; i < OpState.ReadLen; ++i) {
        const qsizetype from = kDataStart + i;
        const qsizetype to = OpState.ReadAddr + i;
        if (from >= OpState.RcvBuf.size() || to >= TOperationState::kImageSize)
            break;
        const auto b = quint8(OpState.RcvBuf[from]);
        OpState.MemImage[size_t(to)] = b;
        hex += ByteToHexStr(b);
    }
    AppendMemoryText(*mmOpen, hex);
}

void TFMmain::InputRxDataFromReadFile() {
    MemoryTextToImage(MemoryText(*mmOpen), OpState.MemImage);
}

void TFMmain::BTOpenClick() {
    if (!OpenDialog1.Execute(this))
        return;
    const TMemoryFileText file = DecodeMemoryFile(ReadMemoryFile(OpenDialog1.FileName));
    // SAVE writes in the form of the last file opened: with its mark and encoding, or as plain
    // single-byte hex when it had no mark.
    FMemoryFileMark = file.Mark;
    // Only FILE WRITE turns the text into the memory image.
    SetMemoryText(*mmOpen, file.Text);
}

void TFMmain::BTSaveClick() {
    const QString text = MemoryText(*mmOpen);
    if (text.isEmpty()) {
        showMessage_x(QStringLiteral("저장할 내용이 없습니다!"));
        return;
    }
    const int row = CB_Model->ItemIndex();
    SaveDialog1.FileName =
        (row >= 0 ? CB_Model->itemText(row) : QString()) + QStringLiteral(".txt");
    if (!SaveDialog1.Execute(this)) {
        showMessage_x(QStringLiteral("저장이 취소되었습니다."));
        return;
    }
    WriteMemoryFile(SaveDialog1.FileName, EncodeMemoryFile(text, FMemoryFileMark));
    // The information dialog shows the name above the sentence.
    showMessage_x(SaveDialog1.FileName + u'\r' + QStringLiteral(" 파일명으로 저장되었습니다."));
}
