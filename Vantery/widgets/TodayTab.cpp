#include "widgets/TodayTab.hpp"

#include <QHBoxLayout>

#include "model/LoadingText.hpp"
#include "model/SparklineModel.hpp"
#include "widgets/FigureViews.hpp"
#include "widgets/HourlySparkline.hpp"
#include "widgets/TableViews.hpp"
#include "widgets/TextStyle.hpp"
#include "widgets/Theme.hpp"

namespace vantery::app {
namespace {

QColor primaryText() {
    return QPalette().color(QPalette::WindowText);
}

QLabel* unknownText(const std::optional<std::string>& reason, QWidget* parent) {
    auto* label = new QLabel(parent);
    applyFigure(label, {"unknown", Tone::unknown, true, reason.value_or("")}, TextStyle::caption(),
                primaryText());
    return label;
}

QWidget* headline(const TodayTabModel& m) {
    auto* card = sectionCard(m.headline);
    addHeadlineRows(card, "COST", m.cost, m.costCaveat, m.firstRow, m.secondRow, Qt::AlignTop);
    return card;
}

QWidget* legendItem(const LegendItem& item, QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(5);
    row->addWidget(new Dot(componentColor(item.component), 9, 2, box), 0, Qt::AlignVCenter);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(0);
    texts->addWidget(plainText(item.label, TextStyle::caption2(), primaryText(), box));
    auto* figures = new QHBoxLayout;
    figures->setSpacing(4);
    figures->addWidget(plainText(item.tokens, Theme::monoSmall(), primaryText(), box));
    if (item.share)
        figures->addWidget(plainText(*item.share, TextStyle::caption2(), Theme::secondary(), box));
    figures->addStretch(1);
    texts->addLayout(figures);
    row->addLayout(texts);
    return box;
}

QWidget* dominantLine(const DominantLine& d, QWidget* parent) {
    if (!d.known) return unknownText(d.unknownReason, parent);
    // The one rich-text label of the tab: every run is escaped, only the name is bold.
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::RichText);
    label->setText(QString::fromStdString(d.lead).toHtmlEscaped() + "<b>" +
                   QString::fromStdString(d.name).toHtmlEscaped() + "</b>" +
                   QString::fromStdString(d.rest).toHtmlEscaped());
    label->setFont(TextStyle::caption());
    TextStyle::setTextColor(label, Theme::secondary());
    label->setWordWrap(true);
    return label;
}

QWidget* composition(const TodayTabModel& m) {
    auto* card = sectionCard(m.composition);
    card->addWidget(new CompositionBar(m.total, 12, false, card));
    auto* legend = new QHBoxLayout;
    legend->setSpacing(18);
    for (const auto& item : m.legend)
        legend->addWidget(legendItem(item, card));
    legend->addStretch(1);
    card->content()->addLayout(legend);
    card->addWidget(dominantLine(m.dominant, card));
    if (m.assumedSplitWarning) {
        auto* row = new QHBoxLayout;
        row->setSpacing(4);
        row->addWidget(new CaveatMarker(card), 0, Qt::AlignTop);
        row->addWidget(
            plainText(*m.assumedSplitWarning, TextStyle::caption2(), Theme::accent(), card, true),
            1);
        card->content()->addLayout(row);
    }
    return card;
}

QWidget* hours(const TodayTabModel& m, SparklineModel spark) {
    auto* card = sectionCard(m.hours, nullptr, 0);
    auto* sparkline = new HourlySparkline(std::move(spark), card);
    sparkline->setFixedHeight(60);
    card->addWidget(sparkline);
    if (m.hourRows.empty()) {
        card->addWidget(unknownText(std::nullopt, card));
        return card;
    }
    card->addWidget(new TableHeader("hour", card));
    card->addWidget(new Divider(1.0, card));
    for (std::size_t i = 0; i < m.hourRows.size(); ++i) {
        const auto& row = m.hourRows[i];
        card->addWidget(new BucketRow(row.label, row.bucket, 0, std::nullopt, card));
        if (i + 1 < m.hourRows.size()) card->addWidget(new Divider(0.4, card));
    }
    return card;
}

QWidget* listRow(const std::optional<QColor>& dot, const std::string& label,
                 const std::string& requests, const CostEstimate& cost, QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    if (dot) row->addWidget(new Dot(*dot, 6, -1, box), 0, Qt::AlignVCenter);
    auto* name =
        new ElidedLabel(QString::fromStdString(label), dot ? Qt::ElideMiddle : Qt::ElideRight, box);
    name->setFont(TextStyle::callout());
    row->addWidget(name, 1);
    row->addWidget(plainText(requests, Theme::monoSmall(), Theme::secondary(), box));
    row->addWidget(new CostText(cost, Theme::monoSmall(), primaryText(), box));
    return box;
}

QWidget* tables(const TodayTabModel& m) {
    auto* box = new QWidget;
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(14);
    auto* agents = sectionCard(m.agentsCard, box, 4);
    if (m.agents.empty()) agents->addWidget(unknownText(std::nullopt, agents));
    for (const auto& a : m.agents)
        agents->addWidget(listRow(a.isMain ? Theme::cacheRead() : Theme::accent(), a.label,
                                  a.requests, a.cost, agents));
    auto* models = sectionCard(m.modelsCard, box, 4);
    if (m.models.empty()) models->addWidget(unknownText(std::nullopt, models));
    for (const auto& md : m.models)
        models->addWidget(listRow(std::nullopt, md.model, md.requests, md.cost, models));
    row->addWidget(agents, 1, Qt::AlignTop);
    row->addWidget(models, 1, Qt::AlignTop);
    return box;
}

} // namespace

QVBoxLayout* TodayTab::buildPage(const TodayTabModel& m, SparklineModel spark) {
    QVBoxLayout* page = TabScrollArea::newPage(14);
    if (m.loading) { // nothing read yet: no figure to show, not even a zero
        auto* card = sectionCard(m.headline);
        card->addWidget(
            plainText(*m.loading, TextStyle::callout(), Theme::secondary(), card, true));
        page->addWidget(card);
        return page;
    }
    page->addWidget(headline(m));
    if (!m.hasRequests) {
        auto* card = sectionCard(m.noRequests);
        card->addWidget(
            plainText(m.noRequestsText, TextStyle::callout(), Theme::secondary(), card, true));
        page->addWidget(card);
        return page;
    }
    page->addWidget(composition(m));
    page->addWidget(hours(m, std::move(spark)));
    page->addWidget(tables(m));
    return page;
}

TodayTab::TodayTab(UsageStore& store, QWidget* parent)
    : QWidget(parent), store_(store), scroll_(TabScrollArea::filling(this)),
      scheduler_(this, [this] { rebuild(); }) {
    for (auto signal :
         {&UsageStore::todayChanged, &UsageStore::historyChanged, &UsageStore::refreshPublished})
        connect(&store_, signal, this, [this] { scheduler_.request(); });
    // Until the first publish the page shows the store's message, which moves on alone.
    connect(&store_, &UsageStore::stateChanged, this, [this] {
        if (!store_.lastRefresh()) scheduler_.request();
    });
    rebuild();
}

void TodayTab::rebuild() {
    const Calendar calendar = store_.userCalendar();
    const TodayTabModel model =
        buildTodayTab({store_.today(), store_.history(), store_.sameTimeYesterday().cost,
                       store_.sameTimeYesterday().change, store_.now(), calendar,
                       loadingText(store_.state(), store_.lastRefresh())});
    scroll_->setPage(
        buildPage(model, buildSparkline(store_.today().byHour, store_.now(), calendar)));
}

} // namespace vantery::app
