#include "ui/FormTemplate.h"

#include "ui/AnsiLineEdit.h"
#include "ui/DialogTemplate.h"
#include "ui/FaceFrame.h"
#include "ui/FaceSlot.h"

#include <QCoreApplication>

namespace quorvel {

namespace {

using Kind = EControlKind;

// In tab order, which follows the form as it reads: owner name, faces, ratings, name words.
// The check boxes get their words when the form is initialised.
constexpr CTemplateControl kForm101[] = {
    {kOwnerNameEdit, Kind::Custom, 57, 6, 338, 22, nullptr,
     QT_TRANSLATE_NOOP("CQuorvelView", "Owner name")},
    // The face frames, large then small for each expression, in reading order. Only their
    // top-left corners count: attaching a face slot gives them their size in pixels.
    {1035, Kind::FaceFrame, 12, 6, 43, 39},
    {1046, Kind::FaceFrame, 57, 31, 18, 14},
    {1047, Kind::FaceFrame, 12, 105, 43, 39},
    {1078, Kind::FaceFrame, 12, 145, 18, 15},
    {1048, Kind::FaceFrame, 60, 105, 43, 39},
    {1079, Kind::FaceFrame, 60, 145, 18, 15},
    {1049, Kind::FaceFrame, 108, 105, 43, 39},
    {1080, Kind::FaceFrame, 108, 145, 18, 15},
    {1069, Kind::FaceFrame, 156, 105, 43, 39},
    {1081, Kind::FaceFrame, 156, 145, 18, 15},
    {1074, Kind::FaceFrame, 12, 180, 43, 39},
    {1082, Kind::FaceFrame, 12, 220, 18, 15},
    {1075, Kind::FaceFrame, 60, 180, 43, 39},
    {1083, Kind::FaceFrame, 60, 220, 18, 15},
    {1076, Kind::FaceFrame, 108, 180, 43, 39},
    {1084, Kind::FaceFrame, 108, 220, 18, 15},
    {1077, Kind::FaceFrame, 156, 180, 43, 39},
    {1085, Kind::FaceFrame, 156, 220, 18, 15},
    {1028, Kind::Label, 12, 50, 52, 11, QT_TRANSLATE_NOOP("CQuorvelView", "Intelligence"),
     nullptr, 8.25, true},
    {1032, Kind::Label, 72, 50, 63, 11, QT_TRANSLATE_NOOP("CQuorvelView", "Aggressiveness"),
     nullptr, 8.25, true},
    {1033, Kind::Label, 144, 50, 63, 11, QT_TRANSLATE_NOOP("CQuorvelView", "Competitiveness"),
     nullptr, 8.25, true},
    {kIntelligenceSlider, Kind::Slider, 7, 60, 56, 26, nullptr,
     QT_TRANSLATE_NOOP("CQuorvelView", "Intelligence")},
    {kAggressivenessSlider, Kind::Slider, 73, 62, 56, 26, nullptr,
     QT_TRANSLATE_NOOP("CQuorvelView", "Aggressiveness")},
    {kCompetitivenessSlider, Kind::Slider, 144, 62, 56, 26, nullptr,
     QT_TRANSLATE_NOOP("CQuorvelView", "Competitiveness")},
    {1020, Kind::Label, 12, 95, 43, 10, QT_TRANSLATE_NOOP("CQuorvelView", "Happy"), nullptr, 8.25},
    {1021, Kind::Label, 60, 95, 43, 10, QT_TRANSLATE_NOOP("CQuorvelView", "Worried"),
     nullptr, 8.25},
    {1022, Kind::Label, 108, 95, 43, 10, QT_TRANSLATE_NOOP("CQuorvelView", "Thinking"),
     nullptr, 8.25},
    {1023, Kind::Label, 156, 95, 43, 10, QT_TRANSLATE_NOOP("CQuorvelView", "Depressed"),
     nullptr, 8.25},
    {1024, Kind::Label, 12, 170, 43, 10, QT_TRANSLATE_NOOP("CQuorvelView", "Surprised"),
     nullptr, 8.25},
    {1025, Kind::Label, 60, 170, 43, 10, QT_TRANSLATE_NOOP("CQuorvelView", "Frightened"),
     nullptr, 8.25},
    {1026, Kind::Label, 108, 170, 43, 10, QT_TRANSLATE_NOOP("CQuorvelView", "Enraged"),
     nullptr, 8.25},
    {1027, Kind::Label, 156, 170, 43, 10, QT_TRANSLATE_NOOP("CQuorvelView", "Repulsed"),
     nullptr, 8.25},
    {kNameGenerationCaption, Kind::Label, 226, 47, 166, 20,
     QT_TRANSLATE_NOOP("CQuorvelView",
                       "Company name generation - tick at least one box in each group below:"),
     nullptr, 8.25},

    {0, Kind::GroupBox, 216, 65, 84, 170, nullptr,
     QT_TRANSLATE_NOOP("CQuorvelView", "First words")},
    {1089, Kind::CheckBox, 228, 75, 62, 10},
    {1092, Kind::CheckBox, 228, 85, 62, 10},
    {1093, Kind::CheckBox, 228, 95, 62, 10},
    {1094, Kind::CheckBox, 228, 105, 62, 10},
    {1095, Kind::CheckBox, 228, 115, 62, 10},
    {1096, Kind::CheckBox, 228, 125, 62, 10},
    {1097, Kind::CheckBox, 228, 135, 62, 10},
    {1098, Kind::CheckBox, 228, 145, 62, 10},
    {1099, Kind::CheckBox, 228, 155, 62, 10},
    {1100, Kind::CheckBox, 228, 165, 62, 10},
    {1101, Kind::CheckBox, 228, 175, 62, 10},
    {1103, Kind::CheckBox, 228, 185, 62, 10},
    {1102, Kind::CheckBox, 228, 196, 9, 10}, // "(Specific)": no room for a caption
    {kSpecificWordEdit, Kind::Custom, 239, 195, 51, 12, nullptr,
     QT_TRANSLATE_NOOP("CQuorvelView", "Specific word")},
    {kSelectAllFirstWords, Kind::PushButton, 228, 211, 57, 15,
     QT_TRANSLATE_NOOP("CQuorvelView", "Select All"),
     QT_TRANSLATE_NOOP("CQuorvelView", "Select all first words")},

    {0, Kind::GroupBox, 312, 65, 84, 170, nullptr,
     QT_TRANSLATE_NOOP("CQuorvelView", "Second words")},
    {1090, Kind::CheckBox, 324, 75, 62, 10},
    {1104, Kind::CheckBox, 324, 85, 62, 10},
    {1105, Kind::CheckBox, 324, 95, 62, 10},
    {1106, Kind::CheckBox, 324, 105, 62, 10},
    {1107, Kind::CheckBox, 324, 115, 62, 10},
    {1108, Kind::CheckBox, 324, 125, 62, 10},
    {1109, Kind::CheckBox, 324, 135, 62, 10},
    {1110, Kind::CheckBox, 324, 145, 62, 10},
    {1111, Kind::CheckBox, 324, 155, 62, 10},
    {1112, Kind::CheckBox, 324, 165, 62, 10},
    {1113, Kind::CheckBox, 324, 175, 62, 10},
    {1114, Kind::CheckBox, 324, 185, 62, 10},
    {1115, Kind::CheckBox, 324, 195, 62, 10},
    {kSelectAllSecondWords, Kind::PushButton, 324, 211, 57, 15,
     QT_TRANSLATE_NOOP("CQuorvelView", "Select All"),
     QT_TRANSLATE_NOOP("CQuorvelView", "Select all second words")},
};

// "Default face (large)": which face a frame shows, for a screen reader and as a tip.
CFaceFrame *CreateFaceFrame(int id, QWidget *form)
{
    auto *frame = new CFaceFrame(id, form);
    for (int index = 0; index < kExpressionCount; ++index) {
        const FaceSlotRow &row = kFaceSlotRows[std::size_t(index)];
        if (row.m_largeFrameId != id && row.m_smallFrameId != id)
            continue;
        const QString expression = CapitalisedExpression(ExpressionName(index));
        const QString name = row.m_largeFrameId == id
            ? QCoreApplication::translate("CQuorvelView", "%1 face (large)")
            : QCoreApplication::translate("CQuorvelView", "%1 face (small)");
        frame->setAccessibleName(name.arg(expression));
        frame->setToolTip(QCoreApplication::translate("CQuorvelView", "%1 face").arg(expression));
    }
    frame->setFocusPolicy(Qt::StrongFocus);
    return frame;
}

// The form's own controls: its text boxes and its named face frames.
QWidget *CreateFormControl(const CTemplateControl &row, QWidget *form)
{
    if (row.kind == Kind::Custom)
        return new CAnsiLineEdit(kTypingLimit, form);
    if (row.kind == Kind::FaceFrame)
        return CreateFaceFrame(row.id, form);
    return nullptr;
}

} // namespace

void CreateForm101Controls(QWidget *form)
{
    CreateTemplateControls(form, kForm101, "CQuorvelView", CreateFormControl);
}

} // namespace quorvel
