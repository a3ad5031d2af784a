#pragma once
// One undoable step of a company: what the record held before and after it. The date stamp is
// no part of a step (a save renews it), and the faces only of the expressions it touched.

#include "company/CompanyRecord.h"

#include <QUndoCommand>

#include <vector>

namespace quorvel {

class CQuorvelDoc;

class CCompanyState
{
public:
    // The record without its faces; AddFace adds an expression's.
    explicit CCompanyState(const CCompanyRecord &record);
    void AddFace(const CCompanyRecord &record, int index);
    bool HasFace(int index) const;
    // Puts the state back into the record.
    void RestoreInto(CCompanyRecord &record) const;

    const std::vector<int> &FaceIndices() const { return m_faceIndices; }

private:
    CCompanyData m_data;
    CNameField m_ownerName;
    CNameField m_specificWord;
    std::vector<int> m_faceIndices;
    std::vector<CSmallFace> m_smallFaces;
    std::vector<CLargeFace> m_largeFaces;
};

// A step pushed after it was made: the first redo has nothing to do.
class CCompanyCommand final : public QUndoCommand
{
public:
    CCompanyCommand(CQuorvelDoc &document, const QString &text, int mergeId,
                    CCompanyState before, CCompanyState after);

    void undo() override;
    void redo() override;
    int id() const override { return m_mergeId; }
    bool mergeWith(const QUndoCommand *other) override;
    // No later step joins this one. Closing changes no state, so a command the stack hands
    // out as const may be closed.
    void Close() const { m_closed = true; }

private:
    CQuorvelDoc &m_document;
    int m_mergeId;
    CCompanyState m_before;
    CCompanyState m_after;
    bool m_applied = true;
    mutable bool m_closed = false;
};

} // namespace quorvel
