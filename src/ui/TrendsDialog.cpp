#include "ui/TrendsDialog.h"

#include "app/FileWriter.h"
#include "polllog/Decimation.h"
#include "polllog/TrendLoader.h"

#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTimeAxis>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

enum Range { LastHour, LastDay, LastWeek, Period };
constexpr qint64 kRangeMs[] = {3600'000LL, 86400'000LL, 7 * 86400'000LL};
constexpr double kZoomStep = 1.25;
constexpr double kPanStep = 0.1;

} // namespace

// Zoom with the wheel, +/- or a rubber band; pan with the middle button or
// the arrow keys; Home shows the whole range again. Only time is zoomed:
// the value axis follows what is visible.
class TrendChartView final : public QChartView {
  public:
    TrendChartView(QChart* chart, QWidget* parent) : QChartView(chart, parent) {
        setObjectName(QStringLiteral("cvTrends"));
        setRubberBand(QChartView::HorizontalRubberBand);
        setFocusPolicy(Qt::StrongFocus);
        setRenderHint(QPainter::Antialiasing, false);
    }
    std::function<void()> home;

  protected:
    void wheelEvent(QWheelEvent* e) override {
        const double factor = e->angleDelta().y() > 0 ? kZoomStep : 1 / kZoomStep;
        const QRectF area = chart()->plotArea();
        const double at = (e->position().x() - area.left()) / area.width();
        // Zooms around the point under the mouse.
        QRectF r = area;
        r.setWidth(area.width() / factor);
        r.moveLeft(area.left() + at * area.width() * (1 - 1 / factor));
        chart()->zoomIn(r);
        e->accept();
    }
    void keyPressEvent(QKeyEvent* e) override {
        switch (e->key()) {
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            chart()->zoom(kZoomStep);
            break;
        case Qt::Key_Minus:
            chart()->zoom(1 / kZoomStep);
            break;
        case Qt::Key_Left:
            chart()->scroll(-chart()->plotArea().width() * kPanStep, 0);
            break;
        case Qt::Key_Right:
            chart()->scroll(chart()->plotArea().width() * kPanStep, 0);
            break;
        case Qt::Key_Home:
            if (home)
                home();
            break;
        default:
            QChartView::keyPressEvent(e);
            return;
        }
        e->accept();
    }
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() == Qt::MiddleButton) {
            m_panFrom = e->position();
            e->accept();
            return;
        }
        QChartView::mousePressEvent(e);
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (e->buttons() & Qt::MiddleButton) {
            chart()->scroll(m_panFrom.x() - e->position().x(), 0);
            m_panFrom = e->position();
            e->accept();
            return;
        }
        QChartView::mouseMoveEvent(e);
    }

  private:
    QPointF m_panFrom;
};

TrendsDialog::TrendsDialog(std::function<QString()> logPath, QWidget* parent)
    : QDialog(parent), m_logPath(std::move(logPath)) {
    setObjectName(QStringLiteral("dlgTrends"));
    m_loader = new polllog::TrendLoader(this);
    connect(m_loader, &polllog::TrendLoader::loaded, this, &TrendsDialog::dataLoaded);
    m_chooseFile = [this] {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить график"),
                                            QStringLiteral("график.png"),
                                            QStringLiteral("PNG (*.png)"));
    };
    setWindowTitle(QStringLiteral("Графики"));
    auto* top = new QHBoxLayout(this);

    auto* side = new QVBoxLayout;
    side->addWidget(new QLabel(QStringLiteral("Датчики (до 16):"), this));
    m_sensors = new QListWidget(this);
    m_sensors->setObjectName(QStringLiteral("lwTrendSensors"));
    m_sensors->setFixedWidth(120);
    side->addWidget(m_sensors, 1);
    m_quantity = new QComboBox(this);
    m_quantity->setObjectName(QStringLiteral("cbQuantity"));
    for (int q = 0; q < polllog::kQuantities; ++q)
        m_quantity->addItem(polllog::quantityTitle(static_cast<polllog::Quantity>(q)));
    side->addWidget(m_quantity);
    m_range = new QComboBox(this);
    m_range->setObjectName(QStringLiteral("cbRange"));
    m_range->addItems({QStringLiteral("Последний час"), QStringLiteral("Последние сутки"),
                       QStringLiteral("Последняя неделя"), QStringLiteral("Период")});
    m_range->setCurrentIndex(LastDay);
    side->addWidget(m_range);
    m_from = new QDateTimeEdit(QDateTime::currentDateTime().addDays(-1), this);
    m_from->setObjectName(QStringLiteral("dtFrom"));
    m_to = new QDateTimeEdit(QDateTime::currentDateTime(), this);
    m_to->setObjectName(QStringLiteral("dtTo"));
    for (QDateTimeEdit* e : {m_from, m_to}) {
        e->setDisplayFormat(QStringLiteral("dd.MM.yy HH:mm"));
        e->setCalendarPopup(true);
        e->setEnabled(false);
        side->addWidget(e);
    }
    top->addLayout(side);

    auto* main = new QVBoxLayout;
    m_chart = new QChart;
    m_chart->legend()->setAlignment(Qt::AlignBottom);
    m_time = new QDateTimeAxis(m_chart);
    m_time->setFormat(QStringLiteral("dd.MM HH:mm"));
    m_time->setTickCount(6);
    m_values = new QValueAxis(m_chart);
    m_chart->addAxis(m_time, Qt::AlignBottom);
    m_chart->addAxis(m_values, Qt::AlignLeft);
    m_view = new TrendChartView(m_chart, this);
    m_view->setMinimumSize(560, 380);
    m_view->home = [this] { draw(); };
    main->addWidget(m_view, 1);
    auto* bottom = new QHBoxLayout;
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("stTrends"));
    // A long text (a log's full path and why it is not there) wraps within
    // the dialog instead of widening it past a 1024-pixel screen.
    m_status->setWordWrap(true);
    m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    bottom->addWidget(m_status, 1);
    auto* save = new QPushButton(QStringLiteral("Сохранить PNG…"), this);
    save->setObjectName(QStringLiteral("btSavePng"));
    auto* close = new QPushButton(QStringLiteral("Закрыть"), this);
    bottom->addWidget(save);
    bottom->addWidget(close);
    main->addLayout(bottom);
    top->addLayout(main, 1);

    connect(m_sensors, &QListWidget::itemChanged, this, &TrendsDialog::sensorToggled);
    connect(m_quantity, &QComboBox::currentIndexChanged, this, &TrendsDialog::reload);
    connect(m_range, &QComboBox::currentIndexChanged, this, &TrendsDialog::rangeChosen);
    connect(m_from, &QDateTimeEdit::dateTimeChanged, this, &TrendsDialog::reload);
    connect(m_to, &QDateTimeEdit::dateTimeChanged, this, &TrendsDialog::reload);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(save, &QPushButton::clicked, this, [this] {
        const QString path = m_chooseFile();
        if (!path.isEmpty())
            m_status->setText(savePng(path));
    });
    // Zoomed or panned: the points of the new stretch are thinned afresh,
    // once the chart has finished moving its axes. Drawn at once, the old
    // curves would be taken away while the chart still walks over them.
    connect(m_time, &QDateTimeAxis::rangeChanged, this, [this] {
        if (m_drawing || m_redrawPending)
            return;
        m_redrawPending = true;
        QTimer::singleShot(0, this, [this] {
            m_redrawPending = false;
            draw();
        });
    });
}

TrendsDialog::~TrendsDialog() = default;

void TrendsDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    reload();
}

std::vector<int> TrendsDialog::checkedSensors() const {
    std::vector<int> checked;
    for (int i = 0; i < m_sensors->count(); ++i)
        if (m_sensors->item(i)->checkState() == Qt::Checked)
            checked.push_back(m_sensors->item(i)->data(Qt::UserRole).toInt());
    return checked;
}

void TrendsDialog::fillSensors(const std::vector<int>& logged, const std::vector<int>& checked) {
    const QSignalBlocker quiet(m_sensors);
    if (logged != m_listed) {
        m_sensors->clear();
        for (int sensor : logged) {
            auto* item = new QListWidgetItem(QStringLiteral("Датчик %1").arg(sensor), m_sensors);
            item->setData(Qt::UserRole, sensor);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        }
        m_listed = logged;
    }
    for (int i = 0; i < m_sensors->count(); ++i) {
        QListWidgetItem* item = m_sensors->item(i);
        const bool wanted = std::find(checked.begin(), checked.end(),
                                      item->data(Qt::UserRole).toInt()) != checked.end();
        item->setCheckState(wanted ? Qt::Checked : Qt::Unchecked);
    }
}

bool TrendsDialog::loading() const {
    return m_loader->busy();
}

void TrendsDialog::request(qint64 fromMs, qint64 toMs, bool incremental) {
    polllog::TrendRequest r;
    r.path = m_logPath();
    r.quantity = static_cast<polllog::Quantity>(m_quantity->currentIndex());
    r.fromMs = fromMs;
    r.toMs = toMs;
    if (incremental) {
        for (const auto& [sensor, points] : m_raw)
            r.sensors.push_back(sensor);
    } else {
        r.sensors = checkedSensors();
        // A log not listed yet: its first few sensors rather than an empty
        // chart.
        r.firstLook = r.sensors.empty() && r.path != m_listedPath;
        m_status->setText(QStringLiteral("ЧТЕНИЕ ЖУРНАЛА…"));
    }
    m_latestIncremental = incremental;
    m_latest = m_loader->load(r);
}

void TrendsDialog::reload() {
    m_followLater = false;
    const auto [from, to] = wantedRange();
    request(from, to, false);
}

void TrendsDialog::follow() {
    if (!isVisible())
        return;
    // A chosen period, or another file: read as a whole again.
    if (m_range->currentIndex() == Period || m_logPath() != m_listedPath) {
        reload();
        return;
    }
    if (m_loader->busy()) {
        m_followLater = true;
        return;
    }
    qint64 last = wantedRange().first - 1;
    for (const auto& [sensor, points] : m_raw)
        if (!points.empty())
            last = std::max(last, points.back().timeMs);
    request(last + 1, QDateTime::currentMSecsSinceEpoch(), true);
}

void TrendsDialog::dataLoaded(int number, const std::shared_ptr<const polllog::TrendData>& data) {
    // A newer request is on its way: this one is not drawn.
    if (number != m_latest)
        return;
    m_readThread = data->thread;
    const polllog::TrendRequest& r = data->request;
    if (!data->error.isEmpty()) {
        // Made by the first poll with answers: until then there is none.
        m_status->setText(data->fault == app::FileFault::Missing
                              ? data->error +
                                    QStringLiteral(" (его создаёт первый опрос с ответами)")
                              : data->error);
        m_listedPath = r.path;
        fillSensors({}, {});
        m_raw.clear();
    } else {
        m_status->clear();
        m_listedPath = r.path;
        fillSensors(data->logged, data->sensors);
        if (m_latestIncremental) {
            const qint64 from = r.toMs - (wantedRange().second - wantedRange().first);
            for (const auto& [sensor, points] : data->series) {
                std::vector<polllog::Point>& kept = m_raw[sensor];
                kept.insert(kept.end(), points.begin(), points.end());
                // What slid out of the range is dropped, one point kept to
                // run the curve to the edge.
                auto first = std::lower_bound(kept.begin(), kept.end(), from,
                                              [](const auto& p, qint64 t) { return p.timeMs < t; });
                if (first != kept.begin())
                    kept.erase(kept.begin(), first - 1);
            }
        } else {
            m_raw = data->series;
        }
    }
    const qint64 from =
        m_latestIncremental ? r.toMs - (wantedRange().second - wantedRange().first) : r.fromMs;
    m_drawing = true;
    m_time->setRange(QDateTime::fromMSecsSinceEpoch(from), QDateTime::fromMSecsSinceEpoch(r.toMs));
    m_drawing = false;
    draw();
    emit loaded();
    if (m_followLater) {
        m_followLater = false;
        follow();
    }
}

void TrendsDialog::selectSensors(const std::vector<int>& sensors) {
    const QSignalBlocker quiet(m_sensors);
    for (int i = 0; i < m_sensors->count(); ++i) {
        QListWidgetItem* item = m_sensors->item(i);
        const bool wanted = std::find(sensors.begin(), sensors.end(),
                                      item->data(Qt::UserRole).toInt()) != sensors.end();
        item->setCheckState(wanted ? Qt::Checked : Qt::Unchecked);
    }
    reload();
}

void TrendsDialog::sensorToggled(QListWidgetItem* item) {
    int checked = 0;
    for (int i = 0; i < m_sensors->count(); ++i)
        checked += m_sensors->item(i)->checkState() == Qt::Checked ? 1 : 0;
    if (checked > kMaxSensors) {
        const QSignalBlocker quiet(m_sensors);
        item->setCheckState(Qt::Unchecked);
        m_status->setText(QStringLiteral("НЕ БОЛЬШЕ %1 ДАТЧИКОВ").arg(kMaxSensors));
        return;
    }
    reload();
}

void TrendsDialog::rangeChosen() {
    const bool period = m_range->currentIndex() == Period;
    m_from->setEnabled(period);
    m_to->setEnabled(period);
    reload();
}

std::pair<qint64, qint64> TrendsDialog::wantedRange() const {
    if (m_range->currentIndex() == Period)
        return {m_from->dateTime().toMSecsSinceEpoch(), m_to->dateTime().toMSecsSinceEpoch()};
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    return {now - kRangeMs[m_range->currentIndex()], now};
}

void TrendsDialog::draw() {
    m_drawing = true;
    const qint64 from = m_time->min().toMSecsSinceEpoch();
    const qint64 to = m_time->max().toMSecsSinceEpoch();
    m_drawn.clear();
    // The series of the last draw are filled again rather than made anew:
    // taking a chart's series away and adding others costs far more than
    // giving them other points.
    std::size_t used = 0;
    const int columns = std::max(100, static_cast<int>(m_chart->plotArea().width()));
    double low = INFINITY;
    double high = -INFINITY;
    int colour = 0;
    for (const auto& [sensor, points] : m_raw) {
        // The visible stretch and one point on either side, so the curve
        // runs to the edges.
        auto first = std::lower_bound(points.begin(), points.end(), from,
                                      [](const auto& p, qint64 t) { return p.timeMs < t; });
        auto last = std::upper_bound(points.begin(), points.end(), to,
                                     [](qint64 t, const auto& p) { return t < p.timeMs; });
        if (first != points.begin())
            --first;
        if (last != points.end())
            ++last;
        std::vector<polllog::Point> thin =
            polllog::decimate(std::vector<polllog::Point>(first, last), from, to, columns);
        // A gap ends one line and the next value starts another.
        const QColor pen = QColor::fromHsv((colour++ * 360 / kMaxSensors * 7) % 360, 230, 200);
        QList<QPointF> run;
        bool named = false;
        auto flush = [&] {
            if (run.isEmpty())
                return;
            if (used == m_lines.size()) {
                auto* made = new QLineSeries(m_chart);
                m_chart->addSeries(made);
                made->attachAxis(m_time);
                made->attachAxis(m_values);
                m_lines.push_back(made);
            }
            QLineSeries* line = m_lines[used++];
            line->setName(QStringLiteral("Датчик %1").arg(sensor));
            line->setColor(pen);
            line->replace(run);
            line->setVisible(true);
            // One legend entry a sensor, however many pieces its curve has.
            m_chart->legend()->markers(line).first()->setVisible(!named);
            named = true;
            run.clear();
        };
        for (const polllog::Point& p : thin) {
            if (std::isnan(p.value)) {
                flush();
                continue;
            }
            run.append(QPointF(double(p.timeMs), p.value));
            if (p.timeMs >= from && p.timeMs <= to) {
                low = std::min(low, p.value);
                high = std::max(high, p.value);
            }
        }
        flush();
        m_drawn.emplace_back(sensor, std::move(thin));
    }
    for (std::size_t i = used; i < m_lines.size(); ++i) {
        m_lines[i]->clear();
        m_lines[i]->setVisible(false);
        m_chart->legend()->markers(m_lines[i]).first()->setVisible(false);
    }
    // The chart lays the time axis and the legend out again only when
    // asked, after its series were all replaced.
    m_time->hide();
    m_time->show();
    m_chart->legend()->hide();
    m_chart->legend()->show();
    if (low <= high) {
        const double margin = std::max((high - low) * 0.05, 0.5);
        m_values->setRange(low - margin, high + margin);
    }
    m_drawing = false;
}

std::vector<std::pair<int, std::vector<polllog::Point>>> TrendsDialog::drawn() const {
    return m_drawn;
}

QString TrendsDialog::savePng(const QString& path) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    m_view->grab().save(&buffer, "PNG");
    const app::FileResult r = app::writeFileAtomically(path, bytes);
    return r.ok() ? QStringLiteral("ЗАПИСАНО: ") + QFileInfo(path).fileName()
                  : QStringLiteral("НЕ ЗАПИСАНО: ") + r.message();
}
