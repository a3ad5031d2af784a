#include "ui/ZoomBox.h"

#include <QAccessibleWidget>

namespace quorvel {

namespace {

class CZoomBoxAccessible final : public QAccessibleWidget
{
public:
    explicit CZoomBoxAccessible(QWidget *widget) : QAccessibleWidget(widget, QAccessible::ComboBox)
    {
    }

    QString text(QAccessible::Text kind) const override
    {
        const auto *box = static_cast<const QComboBox *>(widget());
        switch (kind) {
        case QAccessible::Name:
            return box->accessibleName();
        case QAccessible::Value:
        case QAccessible::Description:
            return box->currentText();
        default:
            return QAccessibleWidget::text(kind);
        }
    }

    QStringList actionNames() const override
    {
        return {showMenuAction(), setFocusAction()};
    }

    void doAction(const QString &action) override
    {
        if (action == showMenuAction())
            static_cast<QComboBox *>(widget())->showPopup();
        else
            QAccessibleWidget::doAction(action);
    }
};

QAccessibleInterface *ZoomBoxAccessible(const QString &key, QObject *object)
{
    if (key == QLatin1String("quorvel::CZoomBox") && object && object->isWidgetType())
        return new CZoomBoxAccessible(static_cast<QWidget *>(object));
    return nullptr;
}

} // namespace

CZoomBox::CZoomBox(QWidget *parent) : QComboBox(parent)
{
    static const bool installed = [] {
        QAccessible::installFactory(ZoomBoxAccessible);
        return true;
    }();
    Q_UNUSED(installed);
    // The current text changes with every zoom; a reader hears it as the value.
    connect(this, &QComboBox::currentTextChanged, this, [this](const QString &text) {
        QAccessibleValueChangeEvent event(this, text);
        QAccessible::updateAccessibility(&event);
    });
}

} // namespace quorvel
