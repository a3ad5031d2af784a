#pragma once
// Documents for tests: one with the folders the program would use and the prompts a test
// installed (or the silent ones), and the folders of a test's own.

#include "company/QuorvelDoc.h"
#include "game/ObjectFolder.h"
#include "platform/Prompts.h"

#include <QString>

namespace quorvel::test {

// Fixed folders: a temporary object folder and documents folder.
class CFixedFolders final : public IObjectFolderService
{
public:
    CFixedFolders(QString objects, QString documents)
        : m_objects(std::move(objects)), m_documents(std::move(documents))
    {
        AddTrailingSeparator(m_objects);
    }
    QString ObjectFolder() const override { return m_objects; }
    QString DocumentsFolder() const override { return m_documents; }

private:
    QString m_objects;
    QString m_documents;
};

inline const CGameFolderService g_gameFolders;

// The program's own arrangement: the game lookup's folders, the installed prompts.
class CTestDocument final : public CQuorvelDoc
{
public:
    CTestDocument() : CQuorvelDoc(Prompts(), g_gameFolders) {}
};

} // namespace quorvel::test
