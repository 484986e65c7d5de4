#include "widgets/MenuBarPanel.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "model/Fmt.hpp"
#include "model/QtText.hpp"
#include "widgets/FigureViews.hpp"
#include "widgets/HourlySparkline.hpp"
#include "widgets/Icons.hpp"
#include "widgets/TextStyle.hpp"
#include "widgets/Theme.hpp"

namespace vantery::app {

namespace {

// Help texts stay plain even when they hold "<" (model ids, paths).
QString plainTip(const std::string& s) {
    if (s.empty()) return {};
    return QStringLiteral("<p style='white-space:pre-wrap'>") + qs(s).toHtmlEscaped() +
           QStringLiteral("</p>");
}

QLabel* text(const std::string& s, const QFont& font, const QColor& colour = {}) {
    auto* l = new QLabel(qs(s));
    l->setTextFormat(Qt::PlainText);
    l->setFont(font);
    if (colour.isValid()) TextStyle::setTextColor(l, colour);
    return l;
}

QLabel* secondary(const std::string& s, const QFont& font) {
    return text(s, font, Theme::secondary());
}

QLabel* symbol(Icons::Symbol s, const QFont& font, const QColor& colour) {
    auto* l = new QLabel;
    l->setTextFormat(Qt::PlainText);
    const int size = QFontMetrics(font).height() - 2;
    l->setPixmap(Icons::pixmap(s, size, colour, l->devicePixelRatioF()));
    return l;
}

// One line of text cut to the width it is given, in the middle or at the head; the whole
// text becomes its help text when cut.
class ElidedLabel : public QWidget {
  public:
    ElidedLabel(QString text, Qt::TextElideMode mode, const QFont& font)
        : text_(std::move(text)), mode_(mode) {
        setFont(font);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        setAccessibleName(text_);
    }
    QSize sizeHint() const override {
        return {fontMetrics().horizontalAdvance(text_), fontMetrics().height()};
    }
    QSize minimumSizeHint() const override {
        return {fontMetrics().horizontalAdvance(QStringLiteral("\u2026")) * 3,
                fontMetrics().height()};
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   fontMetrics().elidedText(text_, mode_, width()));
    }
    void resizeEvent(QResizeEvent*) override {
        setToolTip(fontMetrics().horizontalAdvance(text_) > width() ? plainTip(text_.toStdString())
                                                                    : QString());
    }

  private:
    QString text_;
    Qt::TextElideMode mode_;
};

// A small indeterminate spinner: an arc that turns while the store works.
class Spinner : public QWidget {
  public:
    explicit Spinner(int size) {
        setFixedSize(size, size);
        auto* timer = new QTimer(this);
        QObject::connect(timer, &QTimer::timeout, this, [this] {
            angle_ = (angle_ + 30) % 360;
            update();
        });
        timer->start(80);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Theme::secondary(), 1.6, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5), -angle_ * 16, 270 * 16);
    }

  private:
    int angle_ = 0;
};

// A filled dot telling the main session from a sub-agent.
class Dot : public QWidget {
  public:
    explicit Dot(QColor colour) : colour_(std::move(colour)) { setFixedSize(6, 6); }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(colour_);
        p.drawEllipse(rect());
    }

  private:
    QColor colour_;
};

QVBoxLayout* column(QWidget* owner, int spacing, int padding = 0) {
    auto* v = new QVBoxLayout(owner);
    v->setSpacing(spacing);
    v->setContentsMargins(padding, padding, padding, padding);
    return v;
}

QHBoxLayout* row(int spacing = -1) {
    auto* h = new QHBoxLayout;
    h->setContentsMargins(0, 0, 0, 0);
    if (spacing >= 0) h->setSpacing(spacing);
    return h;
}

QFrame* divider() {
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    TextStyle::setTextColor(line, Theme::unknown());
    return line;
}

QLabel* sectionTitle(const std::string& title) {
    QFont f = TextStyle::weighted(TextStyle::caption2(), QFont::DemiBold);
    f.setLetterSpacing(QFont::AbsoluteSpacing, 0.6);
    return secondary(title, f);
}

QWidget* labelled(const LabelledFigure& figure) {
    auto* w = new QWidget;
    auto* v = column(w, 1);
    v->addWidget(secondary(figure.caption, TextStyle::caption2()));
    auto* value = new EstimateText(figure.value, TextStyle::callout(),
                                   QPalette().color(QPalette::WindowText));
    // An unknown figure keeps its reason as help text; a known one takes the caption's.
    if (value->toolTip().isEmpty()) value->setToolTip(plainTip(figure.help));
    v->addWidget(value);
    return w;
}

QLabel* unknownList() {
    auto* l = new QLabel;
    applyFigure(l, {"unknown", Tone::unknown, true, {}}, TextStyle::caption(), Theme::unknown());
    return l;
}

QColor primary() {
    return QPalette().color(QPalette::WindowText);
}

// While loading only the title shows: no amount, counts or bar before anything was read.
QWidget* header(const PanelHeader& h, bool loading) {
    auto* w = new QWidget;
    auto* v = column(w, 6, 12);
    auto* top = row();
    top->addWidget(text(h.title, TextStyle::headline()), 0, Qt::AlignBaseline);
    top->addStretch();
    if (loading) {
        v->addLayout(top);
        return w;
    }
    top->addWidget(new CostText(h.cost, TextStyle::title2(), primary()), 0, Qt::AlignBaseline);
    v->addLayout(top);
    auto* counts = row(8);
    counts->addWidget(secondary(h.requests, TextStyle::caption()));
    counts->addWidget(secondary("\u00b7", TextStyle::caption()));
    counts->addWidget(secondary(h.tokens, TextStyle::caption()));
    counts->addStretch();
    v->addLayout(counts);
    v->addWidget(new CompositionBar(h.composition, 6, true));
    return w;
}

// What shows in place of today's figures: a wrapped secondary note, under a headline
// when there is one.
QWidget* noteInstead(const std::optional<std::string>& headline, const std::string& message,
                     const QFont& font) {
    auto* w = new QWidget;
    auto* v = column(w, 4, 12);
    if (headline) v->addWidget(text(*headline, TextStyle::callout()));
    QLabel* note = secondary(message, font);
    note->setWordWrap(true);
    v->addWidget(note);
    return w;
}

QWidget* loadingNote(const std::string& message) {
    return noteInstead(std::nullopt, message, TextStyle::callout());
}

QWidget* emptyToday(const PanelEmptyToday& e) {
    return noteInstead(e.headline, e.note, TextStyle::caption2());
}

QWidget* rhythm(const PanelRhythm& r) {
    auto* w = new QWidget;
    auto* v = column(w, 8, 12);
    v->addWidget(sectionTitle(r.title));
    auto* spark = new HourlySparkline(r.sparkline);
    spark->setFixedHeight(34);
    v->addWidget(spark);
    auto* figures = row();
    figures->addWidget(labelled(r.rate));
    figures->addStretch();
    figures->addWidget(labelled(r.yesterdaySameWindow));
    v->addLayout(figures);
    return w;
}

QWidget* agents(const PanelAgents& a) {
    auto* w = new QWidget;
    auto* v = column(w, 8, 12);
    auto* top = row();
    top->addWidget(sectionTitle(a.title));
    top->addStretch();
    if (a.share) {
        QLabel* share = secondary(*a.share, TextStyle::caption2());
        share->setToolTip(plainTip(a.shareHelp));
        top->addWidget(share);
    }
    v->addLayout(top);
    if (a.rows.empty()) v->addWidget(unknownList());
    for (const PanelAgentRow& r : a.rows) {
        auto* line = row(8);
        line->addWidget(new Dot(r.mainSession ? Theme::cacheRead() : Theme::accent()));
        line->addWidget(
            new ElidedLabel(qs(Fmt::cleanName(r.label)), Qt::ElideMiddle, TextStyle::callout()), 1);
        line->addSpacing(8);
        line->addWidget(secondary(r.requests, Theme::monoSmall()));
        line->addWidget(new CostText(r.cost, Theme::monoSmall(), primary()));
        v->addLayout(line);
    }
    return w;
}

QWidget* projects(const PanelProjects& p) {
    auto* w = new QWidget;
    auto* v = column(w, 8, 12);
    v->addWidget(sectionTitle(p.title));
    if (p.rows.empty()) v->addWidget(unknownList());
    for (const PanelProjectRow& r : p.rows) {
        auto* line = row(8);
        line->addWidget(
            new ElidedLabel(qs(Fmt::cleanName(r.label)), Qt::ElideLeft, TextStyle::callout()), 1);
        line->addSpacing(8);
        line->addWidget(new CostText(r.cost, Theme::monoSmall(), primary()));
        v->addLayout(line);
    }
    return w;
}

QWidget* comparison(const PanelComparison& c) {
    auto* w = new QWidget;
    auto* h = new QHBoxLayout(w);
    h->setContentsMargins(12, 12, 12, 12);
    h->addWidget(labelled(c.yesterday));
    h->addStretch();
    h->addWidget(labelled(c.median));
    return w;
}

QWidget* footer(const PanelFooter& f, MenuBarPanel* panel) {
    auto* w = new QWidget;
    auto* v = column(w, 8, 12);
    v->addWidget(new DisclaimerLine);

    auto* status = row(6);
    if (f.scanning) {
        status->addWidget(new Spinner(QFontMetrics(TextStyle::caption2()).height()));
        status->addWidget(secondary(*f.scanning, TextStyle::caption2()));
    } else if (f.updated) {
        status->addWidget(
            symbol(Icons::Symbol::arrowClockwise, TextStyle::caption2(), Theme::secondary()));
        status->addWidget(secondary(*f.updated, TextStyle::caption2()));
        if (f.duration) status->addWidget(secondary(*f.duration, TextStyle::caption2()));
    }
    status->addStretch();
    if (!f.sources.empty()) {
        QLabel* sources = secondary(f.sources, TextStyle::caption2());
        sources->setToolTip(plainTip(f.sourcesHelp));
        status->addWidget(sources);
    }
    v->addLayout(status);

    auto* open = new QPushButton(qs(f.openWindow));
    open->setDefault(true);
    // The prominent button: filled with the accent, whatever the style's own default look.
    open->setStyleSheet(QStringLiteral("QPushButton { background: %1; color: white; border: none;"
                                       " border-radius: 4px; padding: 3px 10px; }"
                                       "QPushButton:pressed { background: %2; }")
                            .arg(Theme::accent().name(), Theme::accent().darker(120).name()));
    auto* refresh = new QToolButton;
    refresh->setIcon(Icons::icon(Icons::Symbol::arrowClockwise, Theme::secondary()));
    refresh->setToolTip(plainTip(f.refreshHelp));
    refresh->setAccessibleName(qs(f.refreshHelp));
    auto* quit = new QPushButton(qs(f.quit));
    for (QWidget* b : std::initializer_list<QWidget*>{open, refresh, quit})
        b->setFont(TextStyle::caption());
    QObject::connect(open, &QPushButton::clicked, panel, &MenuBarPanel::openWindowRequested);
    QObject::connect(refresh, &QToolButton::clicked, panel, &MenuBarPanel::refreshRequested);
    QObject::connect(quit, &QPushButton::clicked, panel, &MenuBarPanel::quitRequested);
    auto* buttons = row();
    buttons->addWidget(open);
    buttons->addWidget(refresh);
    buttons->addStretch();
    buttons->addWidget(quit);
    v->addLayout(buttons);
    return w;
}

} // namespace

MenuBarPanel::MenuBarPanel(QWidget* parent) : QFrame(parent) {
    setFixedWidth(panelWidth);
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(0);
    v->setSizeConstraint(QLayout::SetFixedSize);
}

void MenuBarPanel::setModel(const PanelModel& model) {
    auto* fresh = new QWidget(this);
    fresh->setFixedWidth(panelWidth);
    auto* v = column(fresh, 0);
    v->addWidget(header(model.header, model.loading.has_value()));
    v->addWidget(divider());
    if (model.loading) {
        v->addWidget(loadingNote(*model.loading));
    } else if (model.emptyToday) {
        v->addWidget(emptyToday(*model.emptyToday));
    } else if (model.day) {
        v->addWidget(rhythm(model.day->rhythm));
        v->addWidget(divider());
        v->addWidget(agents(model.day->agents));
        v->addWidget(divider());
        v->addWidget(projects(model.day->projects));
        v->addWidget(divider());
        v->addWidget(comparison(model.day->comparison));
    }
    v->addWidget(divider());
    v->addWidget(footer(model.footer, this));

    if (content_) {
        layout()->removeWidget(content_);
        content_->hide();
        content_->deleteLater();
    }
    content_ = fresh;
    layout()->addWidget(content_);
    content_->show(); // added to a panel that may already be on screen
}

} // namespace vantery::app
