#include "ui/InputFilters.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>
#include <QTimer>

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
        if (event->type() == QEvent::FocusIn) {
            // After the focus change, or the click that brought it clears
            // the selection again.
            QTimer::singleShot(0, m_edit, &QLineEdit::selectAll);
            return false;
        }
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

} // namespace

void ReKeyPress(QLineEdit* edit, bool minus, bool decimal) {
    edit->installEventFilter(new KeyFilter(edit, minus, decimal, nullptr));
}

void SAddKeyPress(QLineEdit* edit, QLineEdit* nextLower) {
    edit->installEventFilter(new KeyFilter(edit, false, true, nextLower ? nextLower : edit));
}
