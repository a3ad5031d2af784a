#pragma once
// The company form view: the main window's central widget, showing every field of the open
// company on one fixed-size form that scrolls when the window is smaller than it. The form
// keeps no copy of the company: each change of a control goes straight into the document, and
// the document's update has the form show the record again.

#include "platform/Document.h"
#include "ui/FaceSlot.h"
#include "ui/NameParts.h"

#include <QScrollArea>

#include <functional>
#include <vector>

class QCheckBox;
class QMimeData;

namespace quorvel {

class CFaceActions;
class CQuorvelDoc;
struct CGrabStart;

class CQuorvelView : public QScrollArea, public CView
{
    Q_OBJECT

public:
    // Runs the face grab dialog for a slot, with the picture the start names already loaded;
    // true when it was accepted, and then the slot holds the faces it made.
    using GrabDialogRunner = std::function<bool(CFaceSlot &slot, const CGrabStart &start)>;

    // Attaches itself to the document, which it does not own.
    explicit CQuorvelView(CQuorvelDoc *document, QWidget *parent = nullptr);
    ~CQuorvelView() override;

    CQuorvelDoc *GetDocument() const;
    // The form page that holds the controls and owns the face slots' frames.
    QWidget *Form() const;
    // The control with a template id, or null.
    QWidget *Control(int id) const;

    // One slot per expression, in expression order. They live as long as the view and show
    // whichever company is open.
    const std::vector<CFaceSlot> &FaceSlots() const { return m_faceSlots; }
    std::vector<CFaceSlot> &FaceSlots() { return m_faceSlots; }

    // What a click on a face runs: the face grab dialog (RunGrabFaceDialog), unless a
    // test gives its own. Without a runner a click opens nothing.
    void SetGrabDialogRunner(GrabDialogRunner runner) { m_runGrabDialog = std::move(runner); }

    // Copy, paste, drag and drop and the context menu of the face frames.
    CFaceActions &FaceActions() const { return *m_faceActions; }

    // Every way of choosing a face ends here: a click on either frame, Enter or Space on a
    // focused frame, "Grab Face...", a dropped or pasted picture. An accepted grab puts the
    // form's faces, and with them every other control, into the company.
    void OnFaceClicked(CFaceSlot &slot, const CGrabStart &start);
    void OnFaceClicked(CFaceSlot &slot);

    // On every new or opened company: show it, then fit the main window to the form.
    void OnInitialUpdate() override;
    // After the document changed: RefreshFromCompany.
    void OnUpdate() override;

    // Every control, faces included, from the record.
    void RefreshFromCompany();
    // Every control, faces included, into the record.
    void StoreFormToCompany();

    // Lays the top-level window out again and resizes it so this view shows the whole form
    // without scroll bars; with shrinkOnly it never grows in either direction.
    void ResizeParentToFit(bool shrinkOnly = true);

    QSize sizeHint() const override;

private:
    class CFormPage;

    void InitialiseForm();
    void ConnectControls();

    // Handlers. Each does nothing without a document, and nothing while the form itself is
    // setting its controls.
    void OnPaint(QPainter &painter) const;
    void OnChangeOwnerName();
    void OnChangeSpecificWord();
    void OnSliderChange(int sliderId);
    // box: the box the click ticked or unticked, which names the step.
    void OnNamePartClicked(const QCheckBox *box, bool ticked);
    // group 0: the first words, 1: the second words.
    void OnSelectAll(std::size_t group);

    // Reading and writing controls by id (QuorvelViewControls.cpp); a missing control reads
    // as empty text, as slider position 1 or as an unticked box, and is skipped when written.
    QString ReadEditText(int id) const;
    void WriteEditText(int id, const QString &text);
    int ReadSliderPos(int id) const;
    void WriteSliderPos(int id, int position);
    bool ReadBox(const NamePartTable &table, std::uint32_t bit) const;
    void SetBox(const NamePartTable &table, std::uint32_t bit, bool ticked);
    std::uint32_t TickedBits(const NamePartTable &table) const;

    CFormPage *m_form = nullptr;
    std::vector<CFaceSlot> m_faceSlots;
    GrabDialogRunner m_runGrabDialog;
    CFaceActions *m_faceActions = nullptr;
    // True while the form sets its own controls, whose change signals then write nothing.
    bool m_settingControls = false;
};

} // namespace quorvel
