#include "widgets/AgentsTab.hpp"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

#include "model/BucketTableModel.hpp"
#include "model/LoadingText.hpp"
#include "widgets/BucketListView.hpp"
#include "widgets/SegmentButton.hpp"
#include "widgets/TabLayout.hpp"
#include "widgets/TableViews.hpp"
#include "widgets/TextStyle.hpp"
#include "widgets/Theme.hpp"

namespace vantery::app {

using namespace AgentsTabModel;

namespace {

constexpr int dotSide = 6;
constexpr int dotGap = 6;

/// `rect` in `color`, hatched over a pale ground: a stretch whose end is not known.
void fillHatched(QPainter& p, const QRectF& rect, QColor color) {
    if (rect.width() <= 0) return;
    QColor ground = color;
    ground.setAlphaF(ground.alphaF() * 0.3f);
    p.fillRect(rect, ground);
    p.fillRect(rect, QBrush(color, Qt::BDiagPattern));
}

/// The split bar: the main session's share in cacheRead, the sub-agents' in accent,
/// 10 high, clipped to a capsule of radius 5. A side whose share is only a lower bound
/// is hatched; with no share the whole bar is one hatched unknown stretch.
class SplitBarView : public QWidget {
  public:
    SplitBarView(Split split, QWidget* parent) : QWidget(parent), split_(std::move(split)) {
        setFixedHeight(10);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        if (!split_.barTip.empty()) setToolTip(QString::fromStdString(split_.barTip));
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath clip;
        clip.addRoundedRect(QRectF(rect()), 5, 5);
        p.setClipPath(clip);
        const SplitBar bar = splitBar(split_, width());
        if (bar.look == BarLook::unknown) {
            fillHatched(p, QRectF(rect()), Theme::unknown());
            return;
        }
        const QRectF main(0, 0, bar.mainWidth, height());
        const QRectF sub(bar.subagentX, 0, bar.subagentWidth, height());
        if (bar.look == BarLook::mainAtLeast)
            fillHatched(p, main, Theme::cacheRead());
        else
            p.fillRect(main, Theme::cacheRead());
        if (bar.look == BarLook::subagentAtLeast)
            fillHatched(p, sub, Theme::accent());
        else
            p.fillRect(sub, Theme::accent());
    }

  private:
    Split split_;
};

/// A small shield with a keyhole, the mark before the roster privacy line.
class ShieldMark : public QWidget {
  public:
    explicit ShieldMark(QWidget* parent) : QWidget(parent) {
        const int side = QFontMetrics(TextStyle::caption2()).height();
        setFixedSize(side, side);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r = QRectF(rect()).adjusted(1.5, 1, -1.5, -1);
        QPainterPath shield;
        shield.moveTo(r.center().x(), r.top());
        shield.lineTo(r.right(), r.top() + r.height() * 0.18);
        shield.cubicTo(r.right(), r.top() + r.height() * 0.65, r.center().x() + r.width() * 0.2,
                       r.bottom() - 1, r.center().x(), r.bottom());
        shield.cubicTo(r.center().x() - r.width() * 0.2, r.bottom() - 1, r.left(),
                       r.top() + r.height() * 0.65, r.left(), r.top() + r.height() * 0.18);
        shield.closeSubpath();
        p.setPen(QPen(Theme::secondary(), 1.1));
        p.setBrush(Qt::NoBrush);
        p.drawPath(shield);
        p.setPen(Qt::NoPen);
        p.setBrush(Theme::secondary());
        const double u = r.width() / 8;
        p.drawEllipse(QPointF(r.center().x(), r.top() + r.height() * 0.42), u, u);
        p.drawRect(QRectF(r.center().x() - u * 0.45, r.top() + r.height() * 0.42, u * 0.9,
                          r.height() * 0.25));
    }
};

/// The split's tiles in one row, as tilesRow lays them out: its two costs, then its counts.
QWidget* splitTiles(const Split& split, QWidget* parent) {
    auto* row = new QWidget(parent);
    auto* l = new QHBoxLayout(row);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(20);
    for (const CostTile& t : split.costTiles)
        l->addWidget(new StatTile(t.title, t.cost, t.note, row), 1, Qt::AlignVCenter);
    for (const TileText& t : split.tiles)
        l->addWidget(statTile(t, row), 1, Qt::AlignVCenter);
    return row;
}

} // namespace

/// The column left of the painted ranking: a 6 × 6 dot per row (cacheRead for the main
/// session, accent for every other agent), 6 before the label, with the row's divider
/// carried under it so each divider spans the whole row.
class AgentsTab::RowMarks : public QWidget {
  public:
    RowMarks(const BucketListView* list, QWidget* parent) : QWidget(parent), list_(list) {
        setFixedWidth(dotSide + dotGap);
    }
    void setRows(std::vector<bool> isMain) {
        isMain_ = std::move(isMain);
        setFixedHeight(list_->height());
        update();
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QColor divider = palette().color(QPalette::WindowText);
        divider.setAlphaF(float(0.15 * TableColumns::rowDividerOpacity));
        p.setPen(Qt::NoPen);
        for (std::size_t i = 0; i < isMain_.size(); ++i) {
            const int top = list_->rowTop(int(i));
            const int h = list_->rowHeight(int(i));
            p.setBrush(isMain_[i] ? Theme::cacheRead() : Theme::accent());
            p.drawEllipse(QRectF(0, top + (h - dotSide) / 2.0, dotSide, dotSide));
            p.fillRect(QRect(0, top + h, width(), 1), divider);
        }
    }

  private:
    const BucketListView* list_;
    std::vector<bool> isMain_;
};

AgentsTab::AgentsTab(UsageStore& store, QWidget* parent)
    : QWidget(parent), store_(store), scheduler_(this, [this] { rebuild(); }) {
    TabScrollArea* scroll = TabScrollArea::filling(this);
    QVBoxLayout* column = TabScrollArea::newPage(12);
    QWidget* page = column->parentWidget();

    // Split card: the scope picker, then the bar and tiles (rebuilt from the store).
    auto* splitCard = new SectionCard(splitTitle, splitSubtitle, page);
    splitCard->content()->setSpacing(10);
    auto* pickerBox = new QWidget(splitCard);
    pickerBox->setFixedWidth(260);
    auto* pickerRow = new QHBoxLayout(pickerBox);
    pickerRow->setContentsMargins(0, 0, 0, 0);
    pickerRow->setSpacing(0);
    picker_ = new QButtonGroup(this);
    picker_->setExclusive(true);
    for (Scope s : scopes) {
        auto* segment = new SegmentButton(QString::fromStdString(scopeLabel(s)), pickerBox);
        segment->setCheckable(true);
        segment->setChecked(s == scope_);
        picker_->addButton(segment, int(s));
        pickerRow->addWidget(segment, 1);
    }
    connect(picker_, &QButtonGroup::idClicked, this, [this](int id) { setScope(Scope(id)); });
    splitCard->addWidget(pickerBox);
    splitSlot_ = new QVBoxLayout;
    splitSlot_->setContentsMargins(0, 0, 0, 0);
    splitCard->content()->addLayout(splitSlot_);
    column->addWidget(splitCard);

    // Ranking card: filter, header, painted rows with their dots, caption.
    rankingCard_ = new SectionCard(rankingTitle, std::nullopt, page);
    filter_ = new QLineEdit(rankingCard_);
    filter_->setPlaceholderText(filterPlaceholder);
    filter_->setMaximumWidth(280);
    // The filter shows during the first scan too: what is typed applies once agents are read.
    rankingCard_->addWidget(filter_);
    rankingCard_->content()->addSpacing(8);
    rankingLoading_ = plainText({}, TextStyle::callout(), Theme::secondary(), rankingCard_, true);
    rankingCard_->addWidget(rankingLoading_);
    rankingParts_ = {new TableHeader(firstColumn, rankingCard_), new Divider(1.0, rankingCard_)};
    for (QWidget* part : rankingParts_)
        rankingCard_->addWidget(part);
    empty_ = unknownLine(rankingCard_);
    rankingCard_->addWidget(empty_);
    rows_ = new BucketTableModel(firstColumn, this);
    auto* listBox = new QWidget(rankingCard_);
    auto* listRow = new QHBoxLayout(listBox);
    listRow->setContentsMargins(0, 0, 0, 0);
    listRow->setSpacing(0);
    list_ = new BucketListView(rows_, listBox);
    marks_ = new RowMarks(list_, listBox);
    listRow->addWidget(marks_, 0, Qt::AlignTop);
    listRow->addWidget(list_, 1, Qt::AlignTop);
    rankingCard_->addWidget(listBox);
    rankingParts_.push_back(listBox);
    caption_ = plainText({}, TextStyle::caption2(), Theme::secondary(), rankingCard_);
    caption_->setContentsMargins(0, 6, 0, 0);
    rankingCard_->addWidget(caption_);
    connect(filter_, &QLineEdit::textChanged, this, [this] { refilter(); });
    column->addWidget(rankingCard_);

    // Coverage card: the fixed paragraph, the tiles (rebuilt), the privacy line.
    auto* coverageCard = new SectionCard(coverageTitle, coverageSubtitle, page);
    coverageCard->content()->setSpacing(10);
    QLabel* coverage = plainText({}, TextStyle::callout(), Theme::secondary(), coverageCard, true);
    coverage->setTextFormat(Qt::RichText);
    coverage->setText(emphasized(coverageText()));
    coverage->setObjectName("coverageText");
    coverageCard->addWidget(coverage);
    coverageSlot_ = new QVBoxLayout;
    coverageSlot_->setContentsMargins(0, 0, 0, 0);
    coverageCard->content()->addLayout(coverageSlot_);
    auto* privacy = new QWidget(coverageCard);
    auto* privacyRow = new QHBoxLayout(privacy);
    privacyRow->setContentsMargins(0, 0, 0, 0);
    privacyRow->setSpacing(4);
    privacyRow->addWidget(new ShieldMark(privacy), 0, Qt::AlignTop);
    privacyRow->addWidget(
        plainText(rosterPrivacyText(), TextStyle::caption2(), Theme::secondary(), privacy, true),
        1);
    coverageCard->addWidget(privacy);
    column->addWidget(coverageCard);
    scroll->setPage(column);

    // One refresh publishes today, history and roster one after the other: rebuild once.
    for (auto signal :
         {&UsageStore::todayChanged, &UsageStore::historyChanged, &UsageStore::rosterChanged})
        connect(&store_, signal, this, [this] { scheduler_.request(); });
    // Until the first publish the cards show the store's message, which moves on alone.
    connect(&store_, &UsageStore::stateChanged, this, [this] {
        if (!store_.lastRefresh()) scheduler_.request();
    });
    rebuild();
}

AgentsTab::~AgentsTab() = default;

const Report& AgentsTab::report() const {
    return scope_ == Scope::today ? store_.today() : store_.history();
}

void AgentsTab::setScope(Scope scope) {
    if (QAbstractButton* segment = picker_->button(int(scope))) segment->setChecked(true);
    if (scope == scope_) return;
    scope_ = scope;
    rebuild();
}

void AgentsTab::rebuild() {
    const Report& r = report();
    // Before the first publish nothing was read: no split, agent or name to tell of.
    loading_ = loadingText(store_.state(), store_.lastRefresh());
    auto loadingLine = [this] {
        return plainText(*loading_, TextStyle::callout(), Theme::secondary(), nullptr, true);
    };

    clearLayout(splitSlot_);
    const Split s = loading_ ? Split{} : split(r);
    splitBody_ = new QWidget;
    auto* body = new QVBoxLayout(splitBody_);
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(10);
    if (loading_) {
        body->addWidget(loadingLine());
    } else if (s.unknownText) {
        body->addWidget(
            plainText(*s.unknownText, TextStyle::callout(), Theme::unknown(), nullptr, true));
    } else {
        body->addWidget(new SplitBarView(s, splitBody_));
        body->addWidget(splitTiles(s, splitBody_));
    }
    splitSlot_->addWidget(splitBody_);

    ranking_ = AgentRanking(scope_ == Scope::today ? store_.todayShared() : store_.historyShared(),
                            store_.rosterShared());
    refilter();

    clearLayout(coverageSlot_);
    coverageTiles_ = loading_ ? loadingLine()
                              : tilesRow(AgentsTabModel::coverageTiles(store_.roster().coverage()));
    coverageSlot_->addWidget(coverageTiles_);
}

void AgentsTab::refilter() {
    rankingLoading_->setText(QString::fromStdString(loading_.value_or(std::string())));
    rankingLoading_->setVisible(loading_.has_value());
    for (QWidget* part : rankingParts_)
        part->setVisible(!loading_);
    if (loading_) {
        rankingCard_->title()->setText(QString::fromUtf8(rankingTitle));
        empty_->setVisible(false);
        caption_->setVisible(false);
        return;
    }
    const Ranking shown = ranking_.filtered(filter_->text().toStdString());
    rankingCard_->title()->setText(QString::fromStdString(shown.title));
    std::vector<BucketTableRow> rows;
    std::vector<bool> isMain;
    rows.reserve(shown.rows.size());
    isMain.reserve(shown.rows.size());
    for (const AgentRow& row : shown.rows) {
        rows.push_back(row.row);
        isMain.push_back(row.isMain);
    }
    rows_->setRows(std::move(rows));
    marks_->setRows(std::move(isMain));
    empty_->setVisible(shown.count == 0);
    caption_->setText(QString::fromStdString(shown.caption.value_or(std::string())));
    caption_->setVisible(shown.caption.has_value());
}

} // namespace vantery::app
