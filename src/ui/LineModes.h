#pragma once

#include <QObject>
#include <QString>

#include <functional>

class ExchangeRecording;
class LineMenu;
class QLabel;
class QMainWindow;
class WriteControls;
namespace bus {
class SerialLink;
}

// The two modes of the Линия menu the whole window shows: read-only (the
// link refuses every write, the write controls are disabled, the title and
// the status bar say so) and the recording of the exchange into a file.
class LineModes final : public QObject {
    Q_OBJECT
  public:
    LineModes(bus::SerialLink& link, QMainWindow& window, LineMenu& menu,
              std::function<void(const QString&)> say);

    // The start option wins; otherwise the choice the last run remembered.
    void restore(bool startOption);
    void setReadOnly(bool on);
    // True (and said) when read-only refuses a write before it starts.
    bool refuseWrite();
    // An action that tried to write in read-only ends with the refusal,
    // whatever its page made of the unsent request.
    void sayWritesRefused();
    // Ends a recording still running (the window closes).
    void stopRecording();
    // Where "Записывать обмен…" asks for its file (a dialog; tests give one).
    void setRecordFileChooser(std::function<QString()> choose) {
        m_chooseRecordFile = std::move(choose);
    }

  private:
    void recordToggled(bool on);

    bus::SerialLink& m_link;
    QMainWindow& m_window;
    LineMenu& m_menu;
    std::function<void(const QString&)> m_say;
    QString m_title;
    QLabel* m_readOnlyMark = nullptr;
    WriteControls* m_writeControls = nullptr;
    ExchangeRecording* m_recording = nullptr;
    std::function<QString()> m_chooseRecordFile;
    quint64 m_refusalsSaid = 0; // writes the link had refused when last said
};
