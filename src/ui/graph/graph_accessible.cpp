#include "graph/graph_accessible.h"

#include "common/way_selection.h"
#include "graph/response_graph.h"
#include "model/unit_model.h"

#include <QAccessibleWidget>
#include <QPointer>
#include <array>

namespace quellaton {

namespace {

// Where a band handle's square lies around its centre.
constexpr int HandleHalf = 4;

// One band handle of the shown section: row 0..5 is band 1..6.
class BandHandleAccessible : public QAccessibleInterface {
public:
    BandHandleAccessible(ResponseGraph* graph, int row) : graph_(graph), row_(row) {}

    bool isValid() const override { return !graph_.isNull(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override {
        return graph_ && graph_->window() ? graph_->window()->windowHandle() : nullptr;
    }
    QAccessibleInterface* parent() const override {
        return graph_ ? QAccessible::queryAccessibleInterface(graph_.data()) : nullptr;
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessible::Role role() const override { return QAccessible::Graphic; }

    QAccessible::State state() const override {
        QAccessible::State state;
        const int way = shownWay();
        if (!graph_ || !graph_->isVisible() || way < 0) {
            state.invisible = true;
            return state;
        }
        // A handle is picked up only while its section is the one being edited.
        if (graph_->isEnabled() && graph_->selection().way() == way) {
            state.movable = true;
        } else {
            state.disabled = true;
        }
        return state;
    }

    QRect rect() const override {
        if (!graph_ || shownWay() < 0) {
            return {};
        }
        const QPoint centre = graph_->handle(BandIndex(shownWay(), row_));
        const QPoint corner = graph_->mapToGlobal(centre - QPoint(HandleHalf, HandleHalf));
        return QRect(corner, QSize(2 * HandleHalf, 2 * HandleHalf));
    }

    QString text(QAccessible::Text t) const override {
        const int way = shownWay();
        const QString band = QStringLiteral("band %1").arg(row_ + 1);
        switch (t) {
        case QAccessible::Name:
            return way < 0 ? QStringLiteral("Band %1 handle").arg(row_ + 1)
                           : SectionName(way) + QLatin1Char(' ') + band + QStringLiteral(" handle");
        case QAccessible::Value:
            return way < 0 ? QString() : values(way);
        case QAccessible::Description:
            return way < 0 ? QString()
                           : QStringLiteral("%1 of %2 at %3. Drag it to change frequency and gain; "
                                            "the band's fields do the same from the keyboard.")
                                 .arg(band, SectionName(way), values(way));
        default:
            return {};
        }
    }
    void setText(QAccessible::Text, const QString&) override {}

private:
    int shownWay() const { return graph_ ? graph_->shownWay() : -1; }

    // "1000.0 Hz, 0.0 dB, PEQ": what the handle stands for.
    QString values(int way) const {
        const EqBand& band = graph_->model().band(BandIndex(way, row_));
        return QStringLiteral("%1, %2, %3")
            .arg(FrequencyText(band.frequencyIndex), EqGainText(band.activeGain()),
                 EqBandTypeText(band.type));
    }

    QPointer<ResponseGraph> graph_;
    int row_;
};

class ResponseGraphAccessible : public QAccessibleWidget {
public:
    explicit ResponseGraphAccessible(ResponseGraph* graph)
        : QAccessibleWidget(graph, QAccessible::Chart) {}

    ~ResponseGraphAccessible() override {
        for (QAccessible::Id id : ids_) {
            if (id != 0) {
                QAccessible::deleteAccessibleInterface(id);
            }
        }
    }

    int childCount() const override { return BandsPerSection; }

    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= BandsPerSection) {
            return nullptr;
        }
        if (ids_[index] == 0) {
            ids_[index] =
                QAccessible::registerAccessibleInterface(new BandHandleAccessible(graph(), index));
        }
        return QAccessible::accessibleInterface(ids_[index]);
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        for (int i = 0; i < BandsPerSection; ++i) {
            if (ids_[i] != 0 && QAccessible::accessibleInterface(ids_[i]) == child) {
                return i;
            }
        }
        return -1;
    }

    QAccessibleInterface* childAt(int x, int y) const override {
        for (int i = 0; i < BandsPerSection; ++i) {
            QAccessibleInterface* handle = child(i);
            if (handle && !handle->state().invisible && handle->rect().contains(x, y)) {
                return handle;
            }
        }
        return nullptr;
    }

    QString text(QAccessible::Text t) const override {
        const int way = graph()->shownWay();
        switch (t) {
        case QAccessible::Name:
            return way < 0 ? QStringLiteral("Response graph")
                           : QStringLiteral("Response graph of ") + SectionName(way);
        case QAccessible::Description:
            return graph()->viewDescription();
        default:
            return QAccessibleWidget::text(t);
        }
    }

private:
    ResponseGraph* graph() const { return static_cast<ResponseGraph*>(object()); }

    mutable std::array<QAccessible::Id, BandsPerSection> ids_{};
};

QAccessibleInterface* GraphFactory(const QString& className, QObject* object) {
    if (className == QLatin1String(ResponseGraph::staticMetaObject.className())) {
        if (auto* graph = qobject_cast<ResponseGraph*>(object)) {
            return new ResponseGraphAccessible(graph);
        }
    }
    return nullptr;
}

} // namespace

void InstallGraphAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(GraphFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

void AnnounceGraphHandles(ResponseGraph* graph, int firstRow, int lastRow) {
    if (!QAccessible::isActive()) {
        return;
    }
    QAccessibleInterface* chart = QAccessible::queryAccessibleInterface(graph);
    if (!chart) {
        return;
    }
    for (int row = std::max(firstRow, 0); row <= std::min(lastRow, BandsPerSection - 1); ++row) {
        if (QAccessibleInterface* handle = chart->child(row)) {
            QAccessibleEvent moved(handle, QAccessible::LocationChanged);
            QAccessible::updateAccessibility(&moved);
            QAccessibleValueChangeEvent value(handle, handle->text(QAccessible::Value));
            QAccessible::updateAccessibility(&value);
        }
    }
}

void AnnounceGraphView(ResponseGraph* graph) {
    if (!QAccessible::isActive()) {
        return;
    }
    QAccessibleEvent described(graph, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&described);
}

void AnnounceGraphSection(ResponseGraph* graph) {
    if (!QAccessible::isActive()) {
        return;
    }
    QAccessibleEvent renamed(graph, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&renamed);
    AnnounceGraphHandles(graph, 0, BandsPerSection - 1);
}

} // namespace quellaton
