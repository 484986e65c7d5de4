#include "widgets/SourcesTab.hpp"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "model/LoadingText.hpp"
#include "model/QtText.hpp"
#include "model/UsageStore.hpp"
#include "widgets/AgeTicker.hpp"
#include "widgets/FigureViews.hpp"
#include "widgets/SymbolMark.hpp"
#include "widgets/TabLayout.hpp"
#include "widgets/TableViews.hpp"
#include "widgets/TextStyle.hpp"
#include "widgets/Theme.hpp"

namespace vantery::app {

namespace {

QColor primary(const QWidget* w) {
    return w->palette().color(QPalette::WindowText);
}

QHBoxLayout* row(int spacing = -1) {
    auto* l = new QHBoxLayout;
    l->setContentsMargins(0, 0, 0, 0);
    if (spacing >= 0) l->setSpacing(spacing);
    return l;
}

QWidget* boxed(QLayout* layout) {
    auto* w = new QWidget;
    w->setLayout(layout);
    return w;
}

/// A notice: its symbol, then its text, in the notice's font and colour; wraps.
QWidget* notice(const SourcesNotice& n) {
    QFont font = TextStyle::caption2();
    QColor color = Theme::secondary();
    SymbolMark::Symbol symbol = SymbolMark::Symbol::checkCircle;
    switch (n.symbol) {
    case SourcesNotice::Symbol::warning:
        font = TextStyle::caption();
        color = Theme::accent();
        symbol = SymbolMark::Symbol::warningTriangle;
        break;
    case SourcesNotice::Symbol::check:
        break;
    case SourcesNotice::Symbol::eye:
        symbol = SymbolMark::Symbol::eye;
        break;
    case SourcesNotice::Symbol::question:
        font = TextStyle::callout();
        color = Theme::unknown();
        symbol = SymbolMark::Symbol::questionCircle;
        break;
    }
    auto* line = row(5);
    line->addWidget(new SymbolMark(symbol, color, QFontMetrics(font).height()), 0, Qt::AlignTop);
    line->addWidget(plainText(n.text, font, color, nullptr, true), 1);
    return boxed(line);
}

/// Label on the left in callout and the secondary colour, value on the right in mono.
QWidget* grid(const SourcesGrid& pairs, const QColor& valueColor) {
    auto* stack = new QVBoxLayout;
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(4);
    for (const auto& [label, value] : pairs) {
        auto* line = row();
        line->addWidget(plainText(label, TextStyle::callout(), Theme::secondary()));
        line->addStretch(1);
        line->addWidget(plainText(value, Theme::monoSmall(), valueColor));
        stack->addLayout(line);
    }
    return boxed(stack);
}

QWidget* fixedWidth(QLabel* label, int width, Qt::Alignment align) {
    label->setFixedWidth(width);
    label->setAlignment(align | Qt::AlignVCenter);
    return label;
}

} // namespace

SourcesTab::SourcesTab(UsageStore& store, QWidget* parent)
    : QWidget(parent), store_(store), scroll_(TabScrollArea::filling(this)),
      scheduler_(this, [this] { redraw(); }) {
    for (auto signal : {&UsageStore::homeInventoryChanged, &UsageStore::historyChanged,
                        &UsageStore::refreshStatsChanged, &UsageStore::lastRefreshChanged,
                        &UsageStore::verificationChanged})
        connect(&store_, signal, this, [this] { scheduler_.request(); });
    // Until the first publish the cards show the store's message, which moves on alone.
    connect(&store_, &UsageStore::stateChanged, this, [this] {
        if (!store_.lastRefresh()) scheduler_.request();
    });
    // The ages ("last refresh 14s ago") move on with the status bar's.
    connect(&AgeTicker::of(store_), &AgeTicker::ticked, this, [this] { scheduler_.request(); });
    redraw();
}

void SourcesTab::redraw() {
    const Calendar userCalendar = store_.userCalendar();
    view_ = SourcesTabModel::build({store_.homeInventory(), store_.history(), store_.refreshStats(),
                                    store_.lastRefresh(), store_.verification(), store_.cachePath(),
                                    AgeTicker::of(store_).now(), userCalendar,
                                    loadingText(store_.state(), store_.lastRefresh())});
    scroll_->setPage(buildPage());
    emit redrawn();
}

QVBoxLayout* SourcesTab::buildPage() {
    QVBoxLayout* stack = TabScrollArea::newPage(12);
    const QColor text = primary(this);
    std::vector<SectionCard*> cards;
    for (const auto& c : view_.cards) {
        cards.push_back(new SectionCard(c.title, c.subtitle));
        stack->addWidget(cards.back());
    }

    if (view_.loading) { // nothing read yet: no home, price or rejection to tell of
        for (std::size_t i = 0; i < 3; ++i)
            cards[i]->addWidget(
                plainText(*view_.loading, TextStyle::callout(), Theme::secondary(), nullptr, true));
    } else {
        // Card 1: the homes.
        for (const auto& h : view_.homes) {
            auto* entry = new QVBoxLayout;
            entry->setContentsMargins(0, 3, 0, 3);
            entry->setSpacing(3);
            auto* first = row();
            first->addWidget(new Dot(h.hasFiles ? Theme::output() : Theme::unknown(), 7), 0,
                             Qt::AlignVCenter);
            first->addWidget(
                plainText(h.name, TextStyle::weighted(TextStyle::callout(), QFont::Medium), text));
            first->addStretch(1);
            if (h.hasFiles) {
                first->addWidget(plainText(h.files, Theme::monoSmall(), Theme::secondary()));
                first->addWidget(plainText(h.requests, Theme::monoSmall(), Theme::secondary()));
                first->addWidget(new CostText(h.cost, Theme::monoSmall(), text));
            } else {
                first->addWidget(plainText(h.absentText, TextStyle::italic(TextStyle::caption()),
                                           Theme::unknown()));
            }
            entry->addLayout(first);
            auto* second = row(8);
            second->addWidget(plainText(h.path, TextStyle::caption2(), Theme::secondary()));
            if (h.activitySpan)
                second->addWidget(
                    plainText(*h.activitySpan, TextStyle::caption2(), Theme::secondary()));
            second->addStretch(1);
            entry->addLayout(second);
            addTableRow(cards[0]->content(), boxed(entry));
        }
        cards[0]->content()->addSpacing(cards[0]->content()->count() ? 8 : 0);
        cards[0]->addWidget(notice(view_.readOnly));

        // Card 2: the composition of the total.
        {
            auto* content = cards[1]->content();
            content->setSpacing(10);
            content->addWidget(new CompositionBar(view_.total, 12, false));
            auto* shares = new QVBoxLayout;
            shares->setContentsMargins(0, 0, 0, 0);
            shares->setSpacing(5);
            for (const auto& s : view_.shares) {
                auto* line = row(8);
                line->addWidget(new Dot(componentColor(s.component), 9, 2), 0, Qt::AlignVCenter);
                line->addWidget(
                    fixedWidth(plainText(s.label, TextStyle::callout(), text), 100, Qt::AlignLeft));
                line->addWidget(
                    fixedWidth(plainText(s.tokens, Theme::monoSmall(), text), 130, Qt::AlignRight));
                auto* share = new EstimateText(s.share, Theme::monoSmall(), text);
                share->setFixedWidth(60);
                share->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
                line->addWidget(share);
                line->addStretch(1);
                shares->addLayout(line);
            }
            content->addWidget(boxed(shares));
            content->addWidget(new Divider);
            auto* tiles = row(20);
            for (const auto& t : view_.tiles)
                tiles->addWidget(statTile(t), 1, Qt::AlignTop);
            content->addWidget(boxed(tiles));
            content->addWidget(notice(view_.priceLine));
        }

        // Card 3: what was read and rejected.
        {
            auto* content = cards[2]->content();
            content->setSpacing(10);
            content->addWidget(grid(view_.parsing, text));
            content->addWidget(notice(view_.rejection));
            if (view_.longestLine) {
                // At most two lines, cut in the middle: a path keeps both of its ends.
                auto* longest =
                    plainText(*view_.longestLine, TextStyle::caption2(), Theme::secondary());
                const QFontMetrics fm(longest->font());
                longest->setText(fm.elidedText(qs(*view_.longestLine), Qt::ElideMiddle, 2 * 560));
                longest->setWordWrap(true);
                longest->setMaximumHeight(2 * fm.lineSpacing() + 2);
                longest->setToolTip(qs(*view_.longestLine));
                content->addWidget(longest);
            }
        }
    }

    // Card 4: the cache and its verification.
    {
        auto* content = cards[3]->content();
        content->setSpacing(10);
        if (view_.cacheGrid) content->addWidget(grid(*view_.cacheGrid, text));
        content->addWidget(new Divider);
        if (view_.verdict) {
            const auto& v = *view_.verdict;
            auto* line = row(8);
            const QColor tone = v.clean ? Theme::output() : Theme::accent();
            line->addWidget(new SymbolMark(v.clean ? SymbolMark::Symbol::checkSeal
                                                   : SymbolMark::Symbol::xmarkSeal,
                                           tone, 22),
                            0, Qt::AlignVCenter);
            auto* texts = new QVBoxLayout;
            texts->setSpacing(2);
            texts->addWidget(plainText(v.summary, TextStyle::callout(), text, nullptr, true));
            texts->addWidget(
                plainText(v.detail, TextStyle::caption2(), Theme::secondary(), nullptr, true));
            line->addLayout(texts, 1);
            content->addWidget(boxed(line));
        } else {
            content->addWidget(notice(view_.unverified));
        }
        auto* buttons = row();
        verify_ = new QPushButton(qs(view_.verifyButton));
        verify_->setToolTip(qs(view_.verifyHelp));
        clear_ = new QPushButton(qs(view_.clearButton));
        for (auto* b : {verify_, clear_}) {
            b->setFont(TextStyle::callout()); // the small control size
            buttons->addWidget(b);
        }
        buttons->addStretch(1);
        connect(verify_, &QPushButton::clicked, &store_, &UsageStore::runFullVerification);
        connect(clear_, &QPushButton::clicked, &store_, &UsageStore::clearCache);
        content->addWidget(boxed(buttons));
        auto* cache = new ElidedLabel(qs(view_.cacheLine), Qt::ElideMiddle);
        cache->setFont(TextStyle::caption2());
        TextStyle::setTextColor(cache, Theme::secondary());
        content->addWidget(cache);
    }
    return stack;
}

} // namespace vantery::app
