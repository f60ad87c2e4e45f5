#include "ui/TEForm.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QRegularExpression kBlanks(QStringLiteral("[ \\t]+"));

// A field as a number, the foreign decimal separator taken as the own one.
double number(QString field) {
    const QChar own = QLocale().decimalPoint().at(0);
    field.replace(own == QLatin1Char('.') ? QLatin1Char(',') : QLatin1Char('.'), own);
    bool ok = false;
    const double v = QLocale().toDouble(field.trimmed(), &ok);
    return ok ? v : 0;
}

QString computed(double next, double here) {
    return QString::asprintf("%.4f", (next - here) / 10);
}

} // namespace

TEForm::TEForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TEForm"));
    setWindowTitle(QStringLiteral("РЕДАКТОР"));
    setModal(true);
    auto* column = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    const char* heads[] = {"№", "Объём (куб.м)", "Доб.(куб.м/мм)", "Расчёт"};
    for (int c = 0; c < 4; ++c)
        grid->addWidget(new QLabel(QString::fromUtf8(heads[c]), this), 0, c);
    const char* prefixes[] = {"stC", "stV", "stD", "stS"};
    for (int r = 0; r < 5; ++r) {
        for (int c = 0; c < 4; ++c) {
            if (r == 2 && (c == 1 || c == 2))
                continue;
            auto* cell = new QLabel(this);
            cell->setObjectName(
                r == 2 && c == 0 ? QStringLiteral("stSE")
                                 : QStringLiteral("%1%2").arg(QLatin1String(prefixes[c])).arg(r));
            cell->setFrameShape(QFrame::Panel);
            cell->setFrameShadow(QFrame::Sunken);
            cell->setMinimumWidth(c == 0 ? 50 : 110);
            grid->addWidget(cell, r + 1, c);
            m_cells[r][c] = cell;
        }
    }
    m_volume = new QLineEdit(this);
    m_volume->setObjectName(QStringLiteral("reVE"));
    m_increment = new QLineEdit(this);
    m_increment->setObjectName(QStringLiteral("reDE"));
    for (QLineEdit* e : {m_volume, m_increment}) {
        e->installEventFilter(this);
        connect(e, &QLineEdit::textChanged, this, [this] { m_rowTyped = true; });
    }
    grid->addWidget(m_volume, 3, 1);
    grid->addWidget(m_increment, 3, 2);
    column->addLayout(grid);
    auto* buttons = new QHBoxLayout;
    m_prev = new QToolButton(this);
    m_prev->setObjectName(QStringLiteral("bbPrev"));
    m_prev->setArrowType(Qt::UpArrow);
    m_next = new QToolButton(this);
    m_next->setObjectName(QStringLiteral("bbNext"));
    m_next->setArrowType(Qt::DownArrow);
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("btOk"));
    m_ok->setToolTip(QStringLiteral("ПРИНЯТЬ"));
    auto* cancel = new QPushButton(QStringLiteral("CANCEL"), this);
    cancel->setObjectName(QStringLiteral("Button4"));
    cancel->setToolTip(QStringLiteral("ОТВЕРГНУТЬ"));
    connect(m_prev, &QToolButton::clicked, this, &TEForm::bbPrevClick);
    connect(m_next, &QToolButton::clicked, this, &TEForm::bbNextClick);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(m_prev);
    buttons->addWidget(m_next);
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(cancel);
    column->addLayout(buttons);
    m_mess = new QLabel(this);
    m_mess->setObjectName(QStringLiteral("Mess"));
    column->addWidget(m_mess);
}

void TEForm::setUp(QStringList* lines, int zeroLine, caltable::EditorMode mode, int row) {
    m_lines = lines;
    m_zero = zeroLine;
    m_line = zeroLine + row;
    m_adding = mode == caltable::EditorMode::AddRowZero;
    m_mess->clear();
    if (m_adding)
        fillAddMode();
    else
        fill();
}

TEForm::Row TEForm::readRow(int j) const {
    Row r;
    if (!m_lines || j < m_zero || j >= m_lines->size())
        return r;
    const QString line = m_lines->at(j).trimmed();
    if (line.isEmpty())
        return r;
    const QStringList f = line.split(kBlanks, Qt::SkipEmptyParts);
    if (f.size() != 3)
        return r;
    r.shown = true;
    r.numberField = f[0];
    QString n = f[0];
    if (const qsizetype eq = n.indexOf(QLatin1Char('=')); eq >= 0)
        n.remove(eq, 1);
    r.number = n.trimmed();
    r.volume = f[1];
    r.increment = f[2];
    r.v = number(f[1]);
    r.d = number(f[2]);
    return r;
}

void TEForm::show(int d, const Row& r) {
    auto& cells = m_cells[d + 2];
    const QString number = r.shown ? r.number : QString();
    if (d == 0) {
        cells[0]->setText(number);
        m_volume->setText(r.shown ? r.volume : QString());
        m_increment->setText(r.shown ? r.increment : QString());
    } else {
        cells[0]->setText(number);
        cells[1]->setText(r.shown ? r.volume : QString());
        cells[2]->setText(r.shown ? r.increment : QString());
    }
    cells[3]->clear();
}

void TEForm::fill() {
    std::array<Row, 6> rows;
    for (int d = -2; d <= 3; ++d)
        rows[d + 2] = readRow(m_line + d);
    m_numberField = rows[2].numberField;
    // Opened on a line that is not a row of the table: say why it is empty.
    if (!rows[2].shown)
        m_mess->setText(!m_lines || m_line >= m_lines->size()
                            ? QStringLiteral("В ТАБЛИЦЕ НЕТ СТРОКИ № %1").arg(m_line - m_zero)
                            : QStringLiteral("СТРОКА НЕ ИЗ ТРЁХ ЧИСЕЛ: ") +
                                  m_lines->at(m_line).trimmed());
    for (int d = -2; d <= 2; ++d)
        show(d, rows[d + 2]);
    // Each row's "Расчёт": the increment its volume and the next one imply.
    for (int d = -2; d <= 2; ++d)
        if (rows[d + 2].shown && rows[d + 3].shown)
            m_cells[d + 2][3]->setText(computed(rows[d + 3].v, rows[d + 2].v));
    m_prev->setEnabled(m_line > m_zero);
    m_next->setEnabled(m_lines && m_line + 1 < m_lines->size());
    m_ok->setEnabled(false);
    m_rowTyped = false;
    m_volume->setFocus();
}

void TEForm::fillAddMode() {
    m_prev->setEnabled(false);
    m_next->setEnabled(false);
    show(-2, {});
    show(-1, {});
    // Row 0 is not in the list yet: the rows after it are lines i and i + 1.
    const Row next = readRow(m_line);
    Row zero;
    zero.shown = true;
    zero.number = QStringLiteral("0");
    m_numberField = zero.number;
    zero.volume = QStringLiteral("0");
    zero.increment = computed(next.v, 0);
    show(0, zero);
    show(1, next);
    show(2, readRow(m_line + 1));
    m_cells[2][3]->setText(zero.increment);
    m_lines->insert(m_line, writtenBack());
    m_rowTyped = false;
    m_adding = false;
    m_ok->setEnabled(true);
    m_ok->setFocus();
    m_mess->setText(QStringLiteral("Добавлена строка № 0"));
    if (m_changed)
        m_changed();
}

QString TEForm::writtenBack() const {
    return m_numberField + QLatin1Char('\t') + m_volume->text().trimmed() + QLatin1Char('\t') +
           m_increment->text().trimmed();
}

void TEForm::storeRow() {
    if (m_rowTyped && m_lines && m_line >= 0 && m_line < m_lines->size())
        (*m_lines)[m_line] = writtenBack();
}

void TEForm::acceptRow() {
    if (!m_lines || m_line < 0 || m_line >= m_lines->size())
        return;
    storeRow();
    fill();
    m_ok->setEnabled(true);
    if (m_changed)
        m_changed();
}

void TEForm::bbPrevClick() {
    if (!m_lines || m_line <= m_zero)
        return;
    storeRow();
    --m_line;
    fill();
    if (m_changed)
        m_changed();
}

void TEForm::bbNextClick() {
    if (!m_lines || m_line >= m_lines->size() - 1)
        return;
    storeRow();
    ++m_line;
    fill();
    if (m_changed)
        m_changed();
}

bool TEForm::eventFilter(QObject*, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return false;
    acceptRow();
    return true;
}

void TEForm::showEvent(QShowEvent* event) {
    // The right edge lines up with the main window's.
    if (QWidget* w = parentWidget())
        move(w->geometry().right() - width(), y());
    QDialog::showEvent(event);
}
