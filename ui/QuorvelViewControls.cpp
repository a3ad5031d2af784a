// The form's controls read and written by their ids: the views of the record's fields.

#include "ui/QuorvelView.h"

#include "ui/AnsiLineEdit.h"
#include "ui/DialogTemplate.h"

#include <QCheckBox>
#include <QSlider>

namespace quorvel {

namespace {

// An edit's text is read as at most this many characters.
constexpr int kEditReadLimit = 254;

} // namespace

QString CQuorvelView::ReadEditText(int id) const
{
    const auto *edit = FindControl<CAnsiLineEdit>(Form(), id);
    return edit ? edit->text().left(kEditReadLimit) : QString();
}

void CQuorvelView::WriteEditText(int id, const QString &text)
{
    if (auto *edit = FindControl<CAnsiLineEdit>(Form(), id)) {
        edit->SetTextFromProgram(text);
        // Long texts show their beginning, as the user would read them.
        edit->setCursorPosition(0);
    }
}

int CQuorvelView::ReadSliderPos(int id) const
{
    const auto *slider = FindControl<QSlider>(Form(), id);
    return slider ? slider->value() : 1;
}

void CQuorvelView::WriteSliderPos(int id, int position)
{
    if (auto *slider = FindControl<QSlider>(Form(), id))
        slider->setValue(position);
}

bool CQuorvelView::ReadBox(const NamePartTable &table, std::uint32_t bit) const
{
    const NamePart *row = FindNamePart(table, bit);
    if (!row || row->m_checkBoxId == 0)
        return false;
    const auto *box = FindControl<QCheckBox>(Form(), row->m_checkBoxId);
    return box && box->checkState() != Qt::Unchecked;
}

void CQuorvelView::SetBox(const NamePartTable &table, std::uint32_t bit, bool ticked)
{
    const NamePart *row = FindNamePart(table, bit);
    if (!row)
        return;
    if (auto *box = FindControl<QCheckBox>(Form(), row->m_checkBoxId))
        box->setChecked(ticked);
}

std::uint32_t CQuorvelView::TickedBits(const NamePartTable &table) const
{
    std::uint32_t bits = 0;
    for (const NamePart &part : table) {
        if (ReadBox(table, part.m_bit))
            bits |= part.m_bit;
    }
    return bits;
}

} // namespace quorvel
