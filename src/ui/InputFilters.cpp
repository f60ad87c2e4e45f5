#include "ui/InputFilters.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>

namespace {

bool isEditingKey(int key) {
    switch (key) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Escape:
        return true;
    default:
        return false;
    }
}

class KeyFilter final : public QObject {
  public:
    KeyFilter(QLineEdit* edit, bool minus, bool decimal, QLineEdit* enterTarget)
        : QObject(edit), m_edit(edit), m_minus(minus), m_decimal(decimal),
          m_enterTarget(enterTarget) {}

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (m_enterTarget)
                m_enterTarget->setFocus();
            return m_enterTarget != nullptr;
        }
        if (isEditingKey(key->key()) || (key->modifiers() & Qt::ControlModifier))
            return false;
        const QString text = key->text();
        if (text.size() != 1)
            return true;
        const QChar c = text[0];
        if (c.isDigit() && c.unicode() < 128)
            return false;
        if (m_minus && c == QLatin1Char('-'))
            return false;
        if (m_decimal && (c == QLatin1Char(',') || c == QLatin1Char('.'))) {
            m_edit->insert(QLocale().decimalPoint());
            return true;
        }
        return true;
    }

  private:
    QLineEdit* m_edit;
    bool m_minus;
    bool m_decimal;
    QPointer<QLineEdit> m_enterTarget;
};

// Every line edit of the program selects its text when entered, so that
// typing replaces the value instead of adding to it. Qt does this itself for
// Tab; a click places the cursor on its release, so the selection follows
// the release; focus given by the program (Enter moving on) selects at once.
class SelectOnEntry final : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* edit = qobject_cast<QLineEdit*>(watched);
        if (!edit)
            return false;
        if (event->type() == QEvent::FocusIn) {
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason == Qt::MouseFocusReason)
                m_clicked = edit;
            else if (reason == Qt::OtherFocusReason)
                edit->selectAll();
        } else if (event->type() == QEvent::MouseButtonRelease && edit == m_clicked) {
            m_clicked = nullptr;
            // A drag that chose part of the text keeps its choice.
            if (!edit->hasSelectedText())
                edit->selectAll();
        } else if (event->type() == QEvent::FocusOut && edit == m_clicked) {
            m_clicked = nullptr;
        }
        return false;
    }

  private:
    QPointer<QLineEdit> m_clicked;
};

} // namespace

void SelectTextOnEntry(QObject* owner) {
    QCoreApplication::instance()->installEventFilter(new SelectOnEntry(owner));
}

void ReKeyPress(QLineEdit* edit, bool minus, bool decimal) {
    edit->installEventFilter(new KeyFilter(edit, minus, decimal, nullptr));
}

void SAddKeyPress(QLineEdit* edit, QLineEdit* nextLower) {
    edit->installEventFilter(new KeyFilter(edit, true, true, nextLower ? nextLower : edit));
}
