#pragma once
// The status bar's "CAP", "NUM" and "SCRL" panes. Each pane shows its text while the lock is
// on and stays blank while it is off, or wherever the platform cannot tell (Wayland, offscreen).

#include <QObject>

#include <array>
#include <optional>

class QLabel;
class QStatusBar;
class QTimer;

namespace quorvel {

enum class LockKey { Caps, Num, Scroll };

class CLockKeyIndicators : public QObject
{
    Q_OBJECT
public:
    // Adds the three panes to the right end of the status bar, which owns them.
    explicit CLockKeyIndicators(QStatusBar *statusBar);
    ~CLockKeyIndicators() override;

    // The lock's state as the windowing system reports it, or nothing when it cannot be read.
    static std::optional<bool> QueryLockState(LockKey key);

    QLabel *pane(LockKey key) const { return m_panes[static_cast<int>(key)]; }

public slots:
    void Refresh();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::array<QLabel *, 3> m_panes{};
    QTimer *m_timer = nullptr;
    QTimer *m_deferred = nullptr;
};

} // namespace quorvel
