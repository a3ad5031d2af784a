// new -o OUT [...] --face EXPR=PICTURE[@X1,Y1,X2,Y2]...: a new company with faces cut from
// pictures as the face grab dialog cuts them.

#include "tools/ToolCommand.h"
#include "tools/ToolFiles.h"
#include "tools/ToolImages.h"

#include "company/CompanyRecord.h"
#include "image/FaceCutter.h"
#include "image/PaletteImage.h"
#include "platform/AnsiText.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>

#include <array>
#include <optional>

namespace quorvel::tool {
namespace {

QString Tr(const char *text)
{
    return QCoreApplication::translate("quorvel-tool", text);
}

// The editor's edits take at most this many characters; its sliders run from 1 to 9.
constexpr int kMaxTextLength = 250;
constexpr int kMinRating = 1;
constexpr int kMaxRating = 9;

struct CFaceRequest
{
    int expression = -1;
    QString picture;
    bool whole = true;
    int left = 0, top = 0, right = 0, bottom = 0; // right and bottom exclusive, as dragged
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

int RunNew(const QStringList &args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(Tr(
        "Makes a new company, writes it to OUT and prints its path. Each --face cuts an "
        "expression's two faces from a picture (%2) as the editor's grab "
        "dialog does: the rectangle with corners X1,Y1 and X2,Y2 in picture pixels (right and "
        "bottom edges excluded) or, without one, the whole picture is stretched to the square "
        "64x64 and 24x24 faces and reduced to the game palette. The default expression is "
        "required; OUT must be another file than the pictures. Expressions: %1.")
                                         .arg(ExpressionNameList(), ReadablePictureFormatList()));
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
                                           "(default 0x1FFF, all)."),
                                        QStringLiteral("MASK"));
    const QCommandLineOption secondWords(QStringLiteral("second-words"),
                                         Tr("Mask of the second name-part words allowed (default 0x1FFF)."),
                                         QStringLiteral("MASK"));
    const QCommandLineOption face(QStringLiteral("face"),
                                  Tr("An expression's faces from a picture; may be repeated."),
                                  QStringLiteral("EXPR=PICTURE[@X1,Y1,X2,Y2]"));
    parser.addOptions({output, owner, word, intelligence, aggressiveness, competitiveness,
                       firstWords, secondWords, face});
    const int parsed = ParseArguments(
        parser, "new",
        QStringLiteral("-o OUT [--owner TEXT] [--word TEXT] [--intelligence N] [--aggressiveness N] "
                       "[--competitiveness N] [--first-words MASK] [--second-words MASK] "
                       "--face EXPR=PICTURE[@X1,Y1,X2,Y2]..."),
        args);
    if (parsed >= 0)
        return parsed;
    if (!parser.positionalArguments().isEmpty())
        return UsageError("new", Tr("unexpected argument '%1'.").arg(parser.positionalArguments().first()));
    if (!parser.isSet(output) || parser.value(output).isEmpty())
        return UsageError("new", Tr("no output file given (-o OUT)."));

    QString error;
    std::array<std::optional<int>, 3> ratings;
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
        ratings[i] = int(*value);
    }
    std::array<std::optional<std::uint32_t>, 2> masks;
    const QCommandLineOption *maskOptions[2] = {&firstWords, &secondWords};
    for (std::size_t i = 0; i < 2; ++i) {
        if (!parser.isSet(*maskOptions[i]))
            continue;
        const std::optional<quint64> value = ParseNumber(parser.value(*maskOptions[i]), true);
        if (!value || *value > 0xFFFFFFFFu)
            return UsageError("new", Tr("--%1 wants a number, decimal or 0x hex, of at most 32 bits, not '%2'.")
                                         .arg(maskOptions[i]->names().first(), parser.value(*maskOptions[i])));
        masks[i] = std::uint32_t(*value);
    }
    if (parser.isSet(owner) && !CheckText(parser.value(owner), "owner name", &error))
        return UsageError("new", error);
    if (parser.isSet(word) && !CheckText(parser.value(word), "specific word", &error))
        return UsageError("new", error);

    std::vector<CFaceRequest> faces;
    for (const QString &text : parser.values(face)) {
        CFaceRequest request;
        if (!ParseFace(text, request, &error))
            return UsageError("new", error);
        for (const CFaceRequest &earlier : faces) {
            if (earlier.expression == request.expression)
                return UsageError("new", Tr("the %1 expression is given twice.")
                                             .arg(QLatin1String(ExpressionName(request.expression))));
        }
        faces.push_back(request);
    }
    const bool hasDefault = std::any_of(faces.begin(), faces.end(),
                                        [](const CFaceRequest &f) { return f.expression == 0; });
    const QString path = parser.value(output);
    if (!hasDefault) {
        PrintErr(FileMessage(path, Tr("You must provide an image for the default face expression "
                                      "before you can save or export!"))
                 + QLatin1Char('\n'));
        return kExitFailed;
    }
    QStringList pictures;
    for (const CFaceRequest &request : faces)
        pictures.append(request.picture);
    const int refused = RefuseOutputOverInput(path, pictures);
    if (refused >= 0)
        return refused;

    CCompanyRecord record;
    record.SetNewCompanyDefaults();
    if (parser.isSet(owner))
        record.SetOwnerName(parser.value(owner));
    if (parser.isSet(word))
        record.SetSpecificWord(parser.value(word));
    if (ratings[0])
        record.SetIntelligence(*ratings[0]);
    if (ratings[1])
        record.SetAggressiveness(*ratings[1]);
    if (ratings[2])
        record.SetCompetitiveness(*ratings[2]);
    if (masks[0])
        record.m_data.m_firstWordMask = *masks[0];
    if (masks[1])
        record.m_data.m_secondWordMask = *masks[1];

    // Each picture is read once, however many expressions are cut from it, and let go of
    // before the next is read; JPEG pictures are cut while they are decoded, never held whole.
    std::vector<bool> done(faces.size(), false);
    for (std::size_t i = 0; i < faces.size(); ++i) {
        if (done[i])
            continue;
        const QString key = QFileInfo(faces[i].picture).absoluteFilePath();
        const std::unique_ptr<CFaceCutter> picture = OpenFaceCutter(faces[i].picture, &error);
        if (!picture) {
            PrintErr(error + QLatin1Char('\n'));
            return kExitFailed;
        }
        std::vector<std::size_t> requests;
        std::vector<CFaceCut> cuts;
        for (std::size_t j = i; j < faces.size(); ++j) {
            if (done[j] || QFileInfo(faces[j].picture).absoluteFilePath() != key)
                continue;
            done[j] = true;
            CFaceRequest &request = faces[j];
            if (request.whole) {
                request.right = picture->Width();
                request.bottom = picture->Height();
            } else if (request.left < 0 || request.top < 0 || request.right > picture->Width()
                       || request.bottom > picture->Height()) {
                return UsageError("new", Tr("the rectangle %1,%2,%3,%4 does not lie on %5, which is %6x%7 pixels.")
                                             .arg(request.left).arg(request.top)
                                             .arg(request.right).arg(request.bottom)
                                             .arg(DisplayPath(request.picture))
                                             .arg(picture->Width()).arg(picture->Height()));
            }
            requests.push_back(j);
            cuts.push_back({request.left, request.top, request.right, request.bottom, kLargeFaceSide, kLargeFaceSide});
            cuts.push_back({request.left, request.top, request.right, request.bottom, kSmallFaceSide, kSmallFaceSide});
        }
        std::vector<std::unique_ptr<CPaletteImage>> cut;
        if (!picture->Cut(cuts, cut)) {
            PrintErr(PictureUnreadable(faces[i].picture, picture->Report()) + QLatin1Char('\n'));
            return kExitFailed;
        }
        for (std::size_t r = 0; r < requests.size(); ++r) {
            const CFaceRequest &request = faces[requests[r]];
            const std::unique_ptr<CPaletteImage> &large = cut[2 * r];
            const std::unique_ptr<CPaletteImage> &small = cut[2 * r + 1];
            if (!large || !small) {
                PrintErr(FileMessage(request.picture, Tr("not enough memory to cut the faces."))
                         + QLatin1Char('\n'));
                return kExitFailed;
            }
            record.SetFaces(1u << request.expression, small->Indices(), large->Indices());
        }
    }

    if (!WriteCompanyFile(path, record, true, &error)) {
        PrintErr(error + QLatin1Char('\n'));
        return kExitFailed;
    }
    PrintOut(ShownPath(path) + QLatin1Char('\n'));
    return kExitOk;
}

} // namespace

QUORVEL_TOOL_COMMAND("new", "make a new company with faces cut from pictures", RunNew);

} // namespace quorvel::tool
