#pragma once
// Where company objects live: the game's object folder, fresh company file names in it,
// and the user's documents folder.

#include <QString>

#include <functional>
#include <optional>

namespace quorvel {

// Appends the platform's directory separator unless the text already ends with one;
// an empty text becomes the separator alone.
void AddTrailingSeparator(QString &path);

// The object folder in use, ending in a separator (see LookUpObjectFolder): the explicit
// choice, else the game's install folder and "ObjData", else the current directory (".").
QString GetObjectFolder();

// The file name of company number 0..32767: "COMP", the number in lower-case hex without
// leading zeros, ".DAT" (10 gives "COMPa.DAT").
QString CompanyFileName(int number);

// A path "COMP<hex>.DAT" in the object folder (or the given folder) that names no existing
// file, or nothing when every one of the 32768 names is taken.
std::optional<QString> MakeUniqueCompanyPath();
std::optional<QString> MakeUniqueCompanyPath(QString folder);

// How one write under a freshly drawn name ended.
enum class EFreshWrite {
    Written,
    Failed,    // reported by the writer; nothing more is tried
    NameTaken, // a file took the name since it was drawn; it was left alone
};

enum class EInstallOutcome { Installed, Failed, NoFreeName };

struct CInstallResult
{
    EInstallOutcome outcome = EInstallOutcome::Failed;
    QString path; // the path written, or the last one tried
};

// Installs a company file in the folder under a fresh name, never replacing a file: write()
// writes at a path that named no file when it was drawn, and when another editor or import
// took that name meanwhile (drawing in the same second draws the same name), another is
// drawn. firstPath, when given, is tried first: a name the caller drew earlier.
CInstallResult InstallUnderFreshName(const QString &folder,
                                     const std::function<EFreshWrite(const QString &path)> &write,
                                     const QString &firstPath = QString());

// The user's documents folder without a trailing separator, or an empty text.
QString GetDocumentsFolder();

// The folders a document saves, exports and imports in, given to it so that a test can
// name folders of its own.
class IObjectFolderService
{
public:
    virtual ~IObjectFolderService() = default;
    // The object folder, ending in a separator; looked up afresh at each call.
    virtual QString ObjectFolder() const = 0;
    // The documents folder without a trailing separator, or an empty text.
    virtual QString DocumentsFolder() const = 0;
};

// The folders the program uses: GetObjectFolder and GetDocumentsFolder.
class CGameFolderService final : public IObjectFolderService
{
public:
    QString ObjectFolder() const override { return GetObjectFolder(); }
    QString DocumentsFolder() const override { return GetDocumentsFolder(); }
};

} // namespace quorvel
