#pragma once
// The grab dialog's zoom box: a combo box that a screen reader, or a tool driving the program
// from outside, finds by its name "Zoom", whatever scale it shows. On Linux Qt names a combo box
// by its current text; this one keeps its accessible name and gives the text as its value.

#include <QComboBox>

namespace quorvel {

class CZoomBox final : public QComboBox
{
    Q_OBJECT

public:
    explicit CZoomBox(QWidget *parent = nullptr);
};

} // namespace quorvel
