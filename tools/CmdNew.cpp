// new -o OUT [...] --face EXPR=PICTURE[@X1,Y1,X2,Y2|@face[N]]... | --faces-from DIR: a new
// company with faces cut from pictures as the face grab dialog cuts them.

#include "tools/ToolCommand.h"
#include "tools/ToolFiles.h"
#include "tools/ToolImages.h"
#include "tools/NewFaces.h"

#include "company/CompanyRecord.h"
#include "image/FaceFinder.h"
#include "platform/AnsiText.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <array>
#include <optional>

namespace quorvel::tool {
namespace {

// The editor's edits take at most this many characters; its sliders run from 1 to 9.
constexpr int kMaxTextLength = 250;
constexpr int kMinRating = 1;
constexpr int kMaxRating = 9;

// The name-part words the editor shows: bits 1 to 4096 of each mask.
constexpr std::uint32_t kWordBits = 0x1FFF;

// What the command line asks for, read and checked before any picture is opened.
struct CNewOptions
{
    QString path;
    std::optional<QString> owner;
    std::optional<QString> word;
    std::array<std::optional<int>, 3> ratings;
    std::array<std::optional<std::uint32_t>, 2> masks;
    std::vector<CFaceRequest> faces;
};

std::optional<quint64> ParseNumber(const QString &text, bool allowHex)
{
    bool ok = false;
    quint64 value = 0;
    const QString trimmed = text.trimmed();
    if (allowHex && (trimmed.startsWith(QLatin1String("0x")) || trimmed.startsWith(QLatin1String("0X"))))
        value = trimmed.mid(2).toULongLong(&ok, 16);
    else if (!trimmed.isEmpty() && trimmed[0].isDigit())
        value = trimmed.toULongLong(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

int ExpressionIndex(const QString &name)
{
    for (int i = 0; i < kExpressionCount; ++i) {
        if (name.compare(QLatin1String(ExpressionName(i)), Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString ExpressionNameList()
{
    QStringList names;
    for (int i = 0; i < kExpressionCount; ++i)
        names.append(QLatin1String(ExpressionName(i)));
    return names.join(QStringLiteral(", "));
}

// EXPR=PICTURE or EXPR=PICTURE@X1,Y1,X2,Y2; false with *error for a malformed one.
bool ParseFace(const QString &text, CFaceRequest &face, QString *error)
{
    const qsizetype equals = text.indexOf(QLatin1Char('='));
    if (equals <= 0 || equals == text.size() - 1) {
        *error = Tr("--face wants EXPR=PICTURE[@X1,Y1,X2,Y2], not '%1'.").arg(text);
        return false;
    }
    face.expression = ExpressionIndex(text.left(equals));
    if (face.expression < 0) {
        *error = Tr("unknown expression '%1'; the expressions are %2.")
                     .arg(text.left(equals), ExpressionNameList());
        return false;
    }
    face.picture = text.mid(equals + 1);
    // "@face", "@face2" ...: the finder's faces, largest first.
    static const QRegularExpression facePart(QStringLiteral("@face([0-9]*)$"));
    if (const QRegularExpressionMatch found = facePart.match(face.picture);
        found.hasMatch() && FaceFinderBuiltIn()) {
        bool ok = true;
        face.face = found.captured(1).isEmpty() ? 1 : found.captured(1).toInt(&ok, 10);
        face.picture.truncate(found.capturedStart(0));
        if (!ok || face.face < 1 || face.picture.isEmpty()) {
            *error = Tr("--face wants EXPR=PICTURE@face or @faceN with N from 1, not '%1'.").arg(text);
            return false;
        }
        face.whole = false;
        return true;
    }
    // A rectangle is whatever follows the last "@" when that is made of numbers and commas.
    static const QRegularExpression rectanglePart(QStringLiteral("@([-+0-9, ]*)$"));
    const QRegularExpressionMatch match = rectanglePart.match(face.picture);
    if (!match.hasMatch())
        return true;
    const QStringList corners = match.captured(1).split(QLatin1Char(','));
    std::array<int, 4> values{};
    bool ok = corners.size() == 4;
    for (int i = 0; ok && i < 4; ++i)
        values[std::size_t(i)] = corners[i].trimmed().toInt(&ok, 10);
    if (!ok) {
        *error = Tr("the rectangle in '%1' is not X1,Y1,X2,Y2 in whole numbers.").arg(text);
        return false;
    }
    face.picture.truncate(match.capturedStart(0));
    if (face.picture.isEmpty()) {
        *error = Tr("--face wants EXPR=PICTURE[@X1,Y1,X2,Y2], not '%1'.").arg(text);
        return false;
    }
    face.whole = false;
    face.left = std::min(values[0], values[2]);
    face.right = std::max(values[0], values[2]);
    face.top = std::min(values[1], values[3]);
    face.bottom = std::max(values[1], values[3]);
    if (face.left == face.right || face.top == face.bottom) {
        *error = Tr("the rectangle in '%1' has no area.").arg(text);
        return false;
    }
    return true;
}

bool CheckText(const QString &text, const char *what, QString *error)
{
    if (text.size() > kMaxTextLength) {
        *error = Tr("the %1 is longer than %2 characters.").arg(Tr(what)).arg(kMaxTextLength);
        return false;
    }
    for (QChar c : text) {
        if (!IsAnsiRepresentable(c)) {
            *error = Tr("the %1 holds '%2', which the game cannot show.").arg(Tr(what), QString(c));
            return false;
        }
    }
    return true;
}

// The pictures of a folder named by expression, each to be cut at its largest face: default.jpg,
// happy.heic ... Files named after no expression, and two files for one, are refused by name.
bool FacesFromFolder(const QString &folder, bool wholeIfNoFace, std::vector<CFaceRequest> &faces,
                     QString *error)
{
    const QDir dir(folder);
    if (!dir.exists()) {
        *error = FileMessage(folder, Tr("no such folder."));
        return false;
    }
    QStringList strays;
    std::array<QStringList, kExpressionCount> named;
    for (const QFileInfo &file : dir.entryInfoList(QDir::Files, QDir::Name)) {
        const int expression = ExpressionIndex(file.completeBaseName());
        if (expression < 0)
            strays.append(file.fileName());
        else
            named[std::size_t(expression)].append(file.fileName());
    }
    if (!strays.isEmpty()) {
        *error = FileMessage(folder, Tr("%1 named after no expression; the expressions are %2.")
                                         .arg(strays.join(QStringLiteral(", ")), ExpressionNameList()));
        return false;
    }
    for (int i = 0; i < kExpressionCount; ++i) {
        const QStringList &files = named[std::size_t(i)];
        if (files.size() > 1) {
            *error = FileMessage(folder, Tr("%1 are all for the %2 expression.")
                                             .arg(files.join(QStringLiteral(", ")),
                                                  QLatin1String(ExpressionName(i))));
            return false;
        }
        if (files.size() == 1) {
            CFaceRequest request;
            request.expression = i;
            request.picture = dir.filePath(files.first());
            request.whole = false;
            request.face = 1;
            request.wholeIfNoFace = wholeIfNoFace;
            faces.push_back(request);
        }
    }
    if (faces.empty()) {
        *error = FileMessage(folder, Tr("holds no picture."));
        return false;
    }
    return true;
}

// Reads and checks the command line. -1 to go on, else the exit code to return at once.
int ReadNewOptions(const QStringList &args, CNewOptions &options)
{
    QCommandLineParser parser;
    QString description = Tr(
        "Makes a new company, writes it to OUT and prints its path. Each --face cuts an "
        "expression's two faces from a picture (%2) as the editor's grab "
        "dialog does: the rectangle with corners X1,Y1 and X2,Y2 in picture pixels (right and "
        "bottom edges excluded) or, without one, the whole picture is stretched to the square "
        "64x64 and 24x24 faces and reduced to the game palette. The default expression is "
        "required; OUT must be another file than the pictures. Expressions: %1.")
                              .arg(ExpressionNameList(), HelpFormatList(args));
    if (FaceFinderBuiltIn())
        description += QLatin1Char(' ') + Tr(
            "@face instead of a rectangle cuts the square that the grab dialog proposes for the "
            "picture's largest face, @face2, @face3 ... the next ones (see find-faces); "
            "--faces-from DIR takes every picture of DIR, named by expression (default.jpg, "
            "happy.heic ...), and cuts each at its largest face.");
    parser.setApplicationDescription(description);
    const QCommandLineOption output(QStringList{QStringLiteral("o"), QStringLiteral("output")},
                                    Tr("Write the company to OUT."), QStringLiteral("OUT"));
    const QCommandLineOption owner(QStringLiteral("owner"), Tr("The owner's name (default \"Owner Name\")."),
                                   QStringLiteral("TEXT"));
    const QCommandLineOption word(QStringLiteral("word"), Tr("The specific word (default \"Owner\")."),
                                  QStringLiteral("TEXT"));
    const QCommandLineOption intelligence(QStringLiteral("intelligence"), Tr("Rating 1-9 (default 5)."),
                                          QStringLiteral("N"));
    const QCommandLineOption aggressiveness(QStringLiteral("aggressiveness"), Tr("Rating 1-9 (default 5)."),
                                            QStringLiteral("N"));
    const QCommandLineOption competitiveness(QStringLiteral("competitiveness"), Tr("Rating 1-9 (default 5)."),
                                             QStringLiteral("N"));
    const QCommandLineOption firstWords(QStringLiteral("first-words"),
                                        Tr("Mask of the first name-part words allowed, decimal or 0x hex "
                                           "(default 0x1FFF, all); at least one of the bits 0x1FFF."),
                                        QStringLiteral("MASK"));
    const QCommandLineOption secondWords(QStringLiteral("second-words"),
                                         Tr("Mask of the second name-part words allowed (default 0x1FFF)."),
                                         QStringLiteral("MASK"));
    const QCommandLineOption face(QStringLiteral("face"),
                                  Tr("An expression's faces from a picture; may be repeated."),
                                  FaceFinderBuiltIn() ? QStringLiteral("EXPR=PICTURE[@X1,Y1,X2,Y2|@face[N]]")
                                                      : QStringLiteral("EXPR=PICTURE[@X1,Y1,X2,Y2]"));
    const QCommandLineOption facesFrom(QStringLiteral("faces-from"),
                                       Tr("Every picture of DIR, named by expression, cut at its largest face."),
                                       QStringLiteral("DIR"));
    const QCommandLineOption wholeIfNoFace(QStringLiteral("whole-if-no-face"),
                                           Tr("With --faces-from, a picture without a face gives its "
                                              "whole picture instead of an error."));
    parser.addOptions({output, owner, word, intelligence, aggressiveness, competitiveness,
                       firstWords, secondWords, face});
    if (FaceFinderBuiltIn())
        parser.addOptions({facesFrom, wholeIfNoFace});
    const int parsed = ParseArguments(
        parser, "new",
        QStringLiteral("-o OUT [--owner TEXT] [--word TEXT] [--intelligence N] [--aggressiveness N] "
                       "[--competitiveness N] [--first-words MASK] [--second-words MASK] %1")
            .arg(FaceFinderBuiltIn() ? QStringLiteral("{--face EXPR=PICTURE[@X1,Y1,X2,Y2|@face[N]]... | "
                                                      "--faces-from DIR [--whole-if-no-face]}")
                                     : QStringLiteral("--face EXPR=PICTURE[@X1,Y1,X2,Y2]...")),
        args);
    if (parsed >= 0)
        return parsed;
    if (!PositionalArguments(parser, "new", {0, 0, {}, Tr("unexpected argument '%1'.")}))
        return kExitUsage;
    if (!parser.isSet(output) || parser.value(output).isEmpty())
        return UsageError("new", Tr("no output file given (-o OUT)."));
    options.path = parser.value(output);

    QString error;
    const QCommandLineOption *ratingOptions[3] = {&intelligence, &aggressiveness, &competitiveness};
    for (std::size_t i = 0; i < 3; ++i) {
        if (!parser.isSet(*ratingOptions[i]))
            continue;
        const std::optional<quint64> value = ParseNumber(parser.value(*ratingOptions[i]), false);
        if (!value || *value < kMinRating || *value > kMaxRating)
            return UsageError("new", Tr("--%1 wants a whole number from %2 to %3, not '%4'.")
                                         .arg(ratingOptions[i]->names().first())
                                         .arg(kMinRating).arg(kMaxRating)
                                         .arg(parser.value(*ratingOptions[i])));
        options.ratings[i] = int(*value);
    }
    const QCommandLineOption *maskOptions[2] = {&firstWords, &secondWords};
    for (std::size_t i = 0; i < 2; ++i) {
        if (!parser.isSet(*maskOptions[i]))
            continue;
        const std::optional<quint64> value = ParseNumber(parser.value(*maskOptions[i]), true);
        if (!value || *value > 0xFFFFFFFFu)
            return UsageError("new", Tr("--%1 wants a number, decimal or 0x hex, of at most 32 bits, not '%2'.")
                                         .arg(maskOptions[i]->names().first(), parser.value(*maskOptions[i])));
        // The editor keeps at least one word of each group ticked and could not show none.
        if ((*value & kWordBits) == 0)
            return UsageError("new", Tr("--%1 %2 allows none of the words (bits 0x1FFF); allow at least one.")
                                         .arg(maskOptions[i]->names().first(), parser.value(*maskOptions[i])));
        options.masks[i] = std::uint32_t(*value);
    }
    if (parser.isSet(owner)) {
        if (!CheckText(parser.value(owner), "owner name", &error))
            return UsageError("new", error);
        options.owner = parser.value(owner);
    }
    if (parser.isSet(word)) {
        if (!CheckText(parser.value(word), "specific word", &error))
            return UsageError("new", error);
        options.word = parser.value(word);
    }
    if (parser.isSet(wholeIfNoFace) && !parser.isSet(facesFrom))
        return UsageError("new", Tr("--whole-if-no-face goes with --faces-from."));

    std::vector<CFaceRequest> &faces = options.faces;
    for (const QString &text : parser.values(face)) {
        CFaceRequest request;
        if (!ParseFace(text, request, &error))
            return UsageError("new", error);
        faces.push_back(request);
    }
    if (parser.isSet(facesFrom)
        && !FacesFromFolder(parser.value(facesFrom), parser.isSet(wholeIfNoFace), faces, &error)) {
        PrintErr(error + QLatin1Char('\n'));
        return kExitFailed;
    }
    for (std::size_t i = 0; i < faces.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (faces[j].expression == faces[i].expression)
                return UsageError("new", Tr("the %1 expression is given twice.")
                                             .arg(QLatin1String(ExpressionName(faces[i].expression))));
        }
    }
    const bool hasDefault = std::any_of(faces.begin(), faces.end(),
                                        [](const CFaceRequest &f) { return f.expression == 0; });
    if (!hasDefault) {
        PrintErr(FileMessage(options.path, Tr("You must provide an image for the default face "
                                              "expression before you can save or export!"))
                 + QLatin1Char('\n'));
        return kExitFailed;
    }
    QStringList pictures;
    for (const CFaceRequest &request : faces)
        pictures.append(request.picture);
    return RefuseOutputOverInput(options.path, pictures);
}

int RunNew(const QStringList &args)
{
    CNewOptions options;
    if (const int read = ReadNewOptions(args, options); read >= 0)
        return read;

    CCompanyRecord record;
    record.SetNewCompanyDefaults();
    if (options.owner)
        record.SetOwnerName(*options.owner);
    if (options.word)
        record.SetSpecificWord(*options.word);
    if (options.ratings[0])
        record.SetIntelligence(*options.ratings[0]);
    if (options.ratings[1])
        record.SetAggressiveness(*options.ratings[1]);
    if (options.ratings[2])
        record.SetCompetitiveness(*options.ratings[2]);
    if (options.masks[0])
        record.SetFirstWordMask(*options.masks[0]);
    if (options.masks[1])
        record.SetSecondWordMask(*options.masks[1]);
    if (const int cut = CutFaces(options.faces, record); cut >= 0)
        return cut;

    QString error;
    if (!WriteCompanyFile(options.path, record, true, &error)) {
        PrintErr(error + QLatin1Char('\n'));
        return kExitFailed;
    }
    PrintOut(ShownPath(options.path) + QLatin1Char('\n'));
    return kExitOk;
}

} // namespace

QUORVEL_TOOL_COMMAND("new", "make a new company with faces cut from pictures", RunNew);

} // namespace quorvel::tool
