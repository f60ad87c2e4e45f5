#pragma once

#include "app/ConfigFile.h"
#include "app/WorkingState.h"
#include "link/PortDevice.h"


#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

#include <vector>

class QTimer;

namespace bus {
class RemoteConnect;
class SerialLink;
} // namespace bus

// The window's port, without the window: chosen, opened, switched off and
// on by the engineer, watched while idle, noticed when it goes away during
// an operation, opened again by itself when the same device is back, and
// shown per role (the main processor's port, the keyboard/display
// processor's). Remote lines that opened are remembered for the port menu.
// A remote line is connected in the event loop, never waited for: its label
// says "соединение…" meanwhile, and a line that went away is tried again
// after a pause that grows with every failed try.
class PortLifecycle final : public QObject {
    Q_OBJECT
  public:
    // What a port label shows of its role's port.
    struct Label {
        QString caption;
        bool green = false;
    };
    // One port the menu offers.
    struct Choice {
        QString name;
        QString detail;
        bool current = false;
        bool remote = false; // a line on the network that opened before
    };
    // Connecting: a remote line's connect began; toggleFinished tells the end.
    enum class Toggle { Refused, Closed, NotOpened, Opened, Connecting };
    // How often an idle port is looked at; a port back is open within a second.
    static constexpr int kWatchMs = 500;
    // A remote line that went away is tried again after kWatchMs, then after
    // pauses that double up to this one.
    static constexpr int kRetryCapMs = 16000;
    // What the label of a remote line shows while it connects.
    static inline const QString kConnectingCaption = QStringLiteral("соединение…");

    // simulation opens the in-process simulated installation on its two
    // ports, which are never written to the configuration.
    PortLifecycle(bus::SerialLink& link, app::WorkingState& state, const app::ConfigFile& config,
                  bus::PortOpener simulation = {}, QObject* parent = nullptr);

    // A device operation: the outermost one notices a port that went away
    // during it (an unplugged adapter).
    class Work {
      public:
        explicit Work(PortLifecycle& ports);
        ~Work();
        Work(const Work&) = delete;
        Work& operator=(const Work&) = delete;

      private:
        PortLifecycle& m_ports;
        bool m_outer;
        bool m_wasOpen;
    };
    // An operation runs or the link waits: nothing else may start.
    bool busy() const;

    // The ports of the configuration, shown; the role's port opened when
    // open is true.
    void load(const app::ConfigEntries& entries, bool open);
    // The simulated installation's keyboard port takes the slave role.
    void useSimulatedKeyboardPort();
    // The role's port becomes name and is opened; an opened port other than
    // the simulated ones is written to the configuration and chosenOpened
    // follows. True when it opened at once; a remote line is connected
    // from the event loop instead (false here, connecting() true), and a
    // connect under way is ended first.
    bool choose(const QString& name);
    // Run before the engineer's choice closes the line in use (another
    // port, the port switched off), while it is still open: what was
    // switched on over that line is switched off there.
    void setBeforeClosing(std::function<void()> before) { m_beforeClosing = std::move(before); }
    // The engineer switches the role's port off or on; no reopening behind
    // their back from now on. Switching off a remote line that connects
    // ends the connect (Closed).
    Toggle toggle();
    // A remote line's connect is under way.
    bool connecting() const { return !m_connect.isNull(); }
    // The engineer's Break (or the window closing): a connect under way ends
    // at once and the port stays closed, not tried again by itself.
    void cancelConnect();
    // The pause before the next try of a remote line that went away.
    int retryPauseMs() const { return m_retryMs; }
    // The processor tab chosen: the link stays, the labels follow.
    void setRole(int role);
    // Looks at the port once: gone, or back. The timer calls it.
    void watch();
    void stopWatching();

    const Label& label(int role) const { return m_labels[role == app::SlaveRole ? 1 : 0]; }
    // The port's full name and, for a line on the network, its round trip.
    QString details() const;
    // Local ports, then remote lines that opened before, the latest first.
    std::vector<Choice> choices() const;

    // After a choice that opened: why the port was not kept in the
    // configuration file (a full disk), empty when it was.
    QString notSavedText() const { return m_notSaved; }

  signals:
    void labelsChanged();
    // The open port went away: cycles stop, the status line says so.
    void lost();
    // The same device is back and open; nothing was sent.
    void reopened();
    // A port chosen is open (at once, or once its connect ended).
    void chosenOpened();
    // The end of a switch-on that connected: Opened or NotOpened.
    void toggleFinished(PortLifecycle::Toggle result);
    // A connect the engineer asked for began or ended.
    void connectingChanged(bool connecting);
    // A port did not open; the engineer is shown why.
    void openFailed(const bus::PortOpenError& error);

  private:
    // What asked for a remote connect: its end is told accordingly.
    enum class Asker { Choice, Toggle, Reopen };
    bool open(const QString& name);
    void startConnect(const QString& name, Asker asker);
    void connectEnded();
    void endConnect();
    // A remote line that opened is offered in the port menu from then on.
    void rememberIfRemote(const QString& name);
    // The chosen port open, or not: the label, the configuration, the signals.
    void chosen(const QString& name, bool ok);
    void retryLater();
    void markLost();
    Label& labelOf(int role) { return m_labels[role == app::SlaveRole ? 1 : 0]; }
    Label& roleLabel() { return labelOf(m_state.portRole); }
    void showRole(bool green);

    bus::SerialLink& m_link;
    app::WorkingState& m_state;
    const app::ConfigFile& m_config;
    bool m_simulated = false;
    bool m_working = false;
    bool m_wasOpen = false;
    QString m_reopenPath; // a port that went away, to be opened when back
    Label m_labels[2];
    QTimer* m_timer = nullptr;
    QString m_notSaved;
    QPointer<bus::RemoteConnect> m_connect;
    Asker m_asker = Asker::Choice;
    int m_connectRole = app::MainRole;
    // Back-off of the tries to reopen a remote line.
    int m_retryMs = kWatchMs;
    QElapsedTimer m_sinceTry;
    std::function<void()> m_beforeClosing;
};
