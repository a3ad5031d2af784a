#pragma once
// Form template 101, the company form: every control with its id and its rectangle in dialog
// units, and the table that ties each expression to its two face frames.

#include "company/CompanyRecord.h"

#include <QSize>

#include <array>
#include <cstdint>

class QWidget;

namespace quorvel {

// Ids of the controls the form reads and writes.
enum FormControlId : int {
    kOwnerNameEdit = 1086,
    kSpecificWordEdit = 1087,
    kIntelligenceSlider = 1044,
    kAggressivenessSlider = 1072,
    kCompetitivenessSlider = 1073,
    kSelectAllFirstWords = 1117,
    kSelectAllSecondWords = 1014,
    kNameGenerationCaption = 1045,
};

// Typing in the form's text boxes stops here; a longer text read from a file is shown whole.
inline constexpr int kTypingLimit = 250;

// The form's size in dialog units.
inline constexpr QSize kForm101Size(408, 246);

// One expression's row, in expression order: its bit, its frames and its caption (0: none).
struct FaceSlotRow
{
    std::uint32_t m_bit;
    int m_largeFrameId;
    int m_smallFrameId;
    int m_captionId;
};

inline constexpr std::array<FaceSlotRow, kExpressionCount> kFaceSlotRows = {{
    {0x001, 1035, 1046, 0},    // default
    {0x002, 1047, 1078, 1020}, // happy
    {0x004, 1048, 1079, 1021}, // worried
    {0x008, 1049, 1080, 1022}, // thinking
    {0x010, 1069, 1081, 1023}, // depressed
    {0x020, 1074, 1082, 1024}, // surprised
    {0x040, 1075, 1083, 1025}, // frightened
    {0x080, 1076, 1084, 1026}, // enraged
    {0x100, 1077, 1085, 1027}, // repulsed
}};

// Creates the template's controls on the form, each named for its id (ControlName) and placed
// by its rectangle, with the captions, label properties, slider ranges and accessible names
// the form shows. Tab order follows the template: owner name, faces, ratings, name words.
void CreateForm101Controls(QWidget *form);

} // namespace quorvel
