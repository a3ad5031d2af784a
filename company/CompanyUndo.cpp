#include "company/CompanyUndo.h"

#include "company/QuorvelDoc.h"

#include <algorithm>

namespace quorvel {

CCompanyState::CCompanyState(const CCompanyRecord &record)
    : m_data(record.Data())
    , m_ownerName(record.OwnerNameField())
    , m_specificWord(record.SpecificWordField())
{
}

void CCompanyState::AddFace(const CCompanyRecord &record, int index)
{
    if (HasFace(index))
        return;
    m_faceIndices.push_back(index);
    m_smallFaces.push_back(record.SmallFace(index));
    m_largeFaces.push_back(record.LargeFace(index));
}

bool CCompanyState::HasFace(int index) const
{
    return std::find(m_faceIndices.begin(), m_faceIndices.end(), index) != m_faceIndices.end();
}

void CCompanyState::RestoreInto(CCompanyRecord &record) const
{
    record.SetData(m_data);
    record.SetOwnerNameField(m_ownerName);
    record.SetSpecificWordField(m_specificWord);
    for (std::size_t i = 0; i < m_faceIndices.size(); ++i) {
        record.SetSmallFaceBytes(m_faceIndices[i], m_smallFaces[i].data());
        record.SetLargeFaceBytes(m_faceIndices[i], m_largeFaces[i].data());
    }
}

CCompanyCommand::CCompanyCommand(CQuorvelDoc &document, const QString &text, int mergeId,
                                 CCompanyState before, CCompanyState after)
    : QUndoCommand(text)
    , m_document(document)
    , m_mergeId(mergeId)
    , m_before(std::move(before))
    , m_after(std::move(after))
{
}

void CCompanyCommand::undo()
{
    m_applied = false;
    m_document.RestoreState(m_before);
}

void CCompanyCommand::redo()
{
    if (m_applied)
        return;
    m_applied = true;
    m_document.RestoreState(m_after);
}

bool CCompanyCommand::mergeWith(const QUndoCommand *other)
{
    const auto *next = static_cast<const CCompanyCommand *>(other);
    // Only steps without faces join: the typing in one box, the drag of one slider.
    if (m_closed || next->id() != id() || !next->m_after.FaceIndices().empty())
        return false;
    m_after = next->m_after;
    return true;
}

} // namespace quorvel
