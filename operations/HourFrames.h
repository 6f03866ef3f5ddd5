#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <optional>

// The hour meter request and the page layout of the four controller models (0 Kestra S7,
// 1 Kestra M1/M2, 2 Orvel 500i, 3 Orvel 500 and Dantro).

inline constexpr int kHourModelCount = 4;

// Register address of the hour meters of a model (0..3).
quint16 HourRegister(int model);

// The texts of the page's six boxes, as typed.
struct THourBoxes {
    QString Hour1, Min1, Hour2, Min2, Hour3, Min3;
};

// The data bytes of a model's request. Models 0 and 1 send 32-bit values (each box converted as a
// 64-bit integer, its low 32 bits sent); models 2 and 3 send the two minute boxes as 16-bit fields
// and the three value boxes as 32-bit values, the third one twice. Boxes are converted strictly,
// in the order of the bytes they fill, so the first bad box raises EConvertError.
QByteArray HourData(int model, const THourBoxes& boxes);

// The whole request, CRC included. The register count field is 0: the controller expects it so.
QByteArray BuildHourRequest(quint8 slave, int model, const THourBoxes& boxes);

// How the page shows a model. A label text left empty (nullopt) keeps whatever it shows now.
struct THourLayout {
    QString Hour1Caption;
    QString Hour2Caption;
    QString Semi2Caption;
    std::optional<QString> Hour3Caption;
    std::optional<QString> Semi3Caption;
    bool ShowHour3;  // LBHour3 and EDHour3
    bool ShowMin3;   // LBSemi3 and EDMin3
};

THourLayout HourLayout(int model);

// The rows of the hour page's model list, one per model.
QStringList HourModelNames();
