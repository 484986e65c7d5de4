#include "widgets/MenuBarPanel.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "widgets/HourlySparkline.hpp"
#include "widgets/Icons.hpp"
#include "widgets/Theme.hpp"

namespace vantery::app {

namespace {

// Text styles of the panel, as deltas from the body font.
QFont caption2() { return Theme::font(-2); }
QFont caption() { return Theme::font(-1.5); }
QFont callout() { return Theme::font(-0.5); }
QFont headline() { return Theme::font(0, QFont::DemiBold); }
QFont title2() { return Theme::font(5); }

QString qs(const std::string& s) { return QString::fromStdString(s); }

// Help texts are shown as plain text even when they hold "<" (model ids, paths).
QString plainTip(const std::string& s) {
    if (s.empty()) return {};
    return QStringLiteral("<p style='white-space:pre-wrap'>") + qs(s).toHtmlEscaped() + QStringLiteral("</p>");
}

void setColour(QWidget* w, const QColor& c) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, c);
    pal.setColor(QPalette::Text, c);
    w->setPalette(pal);
}

QLabel* text(const std::string& s, const QFont& font, const QColor& colour = {}, QWidget* parent = nullptr) {
    auto* l = new QLabel(qs(s), parent);
    l->setTextFormat(Qt::PlainText);
    l->setFont(font);
    if (colour.isValid()) setColour(l, colour);
    return l;
}

QLabel* symbol(Icons::Symbol s, const QFont& font, const QColor& colour, const std::string& tip = {}) {
    auto* l = new QLabel;
    l->setTextFormat(Qt::PlainText);
    const int size = QFontMetrics(font).height() - 2;
    l->setPixmap(Icons::pixmap(s, size, colour, l->devicePixelRatioF()));
    l->setToolTip(plainTip(tip));
    return l;
}

// One line of text cut to the width it is given, in the middle or at the head.
class ElidedLabel : public QWidget {
  public:
    ElidedLabel(QString text, Qt::TextElideMode mode, const QFont& font) : text_(std::move(text)), mode_(mode) {
        setFont(font);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    QString text() const { return text_; }
    QSize sizeHint() const override { return {fontMetrics().horizontalAdvance(text_), fontMetrics().height()}; }
    QSize minimumSizeHint() const override { return {fontMetrics().horizontalAdvance(QStringLiteral("…")) * 3, fontMetrics().height()}; }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setPen(palette().color(QPalette::WindowText));
        const QString shown = fontMetrics().elidedText(text_, mode_, width());
        p.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
    }
    void resizeEvent(QResizeEvent*) override {
        // The whole label as help text, only when it had to be cut.
        const bool cut = fontMetrics().horizontalAdvance(text_) > width();
        setToolTip(cut ? plainTip(text_.toStdString()) : QString());
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

// The capsule of token components, cache read first.
class Composition : public QWidget {
  public:
    Composition(const Bucket& b, int height) : b_(b) { setFixedHeight(height); }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath clip;
        clip.addRoundedRect(QRectF(rect()), height() / 2.0, height() / 2.0);
        p.setClipPath(clip);
        const double total = double(b_.totalTokens());
        if (total < 1) {
            QColor c = Theme::unknown();
            c.setAlphaF(c.alphaF() * 0.25f);
            p.fillRect(rect(), c);
            return;
        }
        const std::pair<std::int64_t, QColor> parts[] = {{b_.cacheRead, Theme::cacheRead()},
                                                          {b_.cacheWrite5m + b_.cacheWrite1h, Theme::cacheWrite()},
                                                          {b_.output, Theme::output()},
                                                          {b_.input, Theme::input()}};
        double x = 0;
        for (const auto& [count, colour] : parts) {
            if (count < 1) continue;
            const double w = std::max(width() * double(count) / total, 1.0);
            p.fillRect(QRectF(x, 0, w, height()), colour);
            x += w + 1;
        }
    }

  private:
    Bucket b_;
};

QLabel* unknownText(const std::string& reason, const QFont& font) {
    QFont f = font;
    f.setItalic(true);
    auto* l = text("unknown", f, Theme::unknown());
    l->setToolTip(plainTip(reason));
    return l;
}

QWidget* estimate(const EstimateFigure& e, const QFont& font) {
    if (!e.known) return unknownText(e.reason, font);
    return text(e.text, font);
}

// A cost in the caller's font; a lower bound in accent with the caveat's marker.
QWidget* cost(const CostFigure& c, const QFont& font) {
    auto* row = new QWidget;
    auto* h = new QHBoxLayout(row);
    h->setContentsMargins(0, 0, 0, 0);
    h->setSpacing(4);
    h->addWidget(text(c.text, font, c.lowerBound ? Theme::accent() : QColor()));
    if (c.caveat) h->addWidget(symbol(Icons::Symbol::warningTriangle, caption2(), Theme::accent(), *c.caveat));
    return row;
}

QBoxLayout* vbox(QWidget* owner, int spacing, int padding = 0) {
    auto* v = new QVBoxLayout(owner);
    v->setSpacing(spacing);
    v->setContentsMargins(padding, padding, padding, padding);
    return v;
}

QHBoxLayout* hrow(int spacing = -1) {
    auto* h = new QHBoxLayout;
    h->setContentsMargins(0, 0, 0, 0);
    if (spacing >= 0) h->setSpacing(spacing);
    return h;
}

QFrame* divider() {
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    setColour(line, Theme::unknown());
    return line;
}

QLabel* sectionTitle(const std::string& title) {
    QFont f = caption2();
    f.setWeight(QFont::DemiBold);
    f.setLetterSpacing(QFont::AbsoluteSpacing, 0.6);
    return text(title, f, Theme::secondary());
}

QWidget* labelled(const LabelledFigure& figure) {
    auto* w = new QWidget;
    auto* v = vbox(w, 1);
    v->addWidget(text(figure.caption, caption2(), Theme::secondary()));
    QWidget* value = estimate(figure.value, callout());
    if (!figure.help.empty()) value->setToolTip(plainTip(figure.help));
    v->addWidget(value);
    w->setToolTip(plainTip(figure.help));
    return w;
}

QWidget* header(const PanelHeader& h) {
    auto* w = new QWidget;
    auto* v = vbox(w, 6, 12);
    auto* top = hrow();
    top->addWidget(text(h.title, headline()), 0, Qt::AlignBaseline);
    top->addStretch();
    QFont big = title2();
    big.setStyleHint(QFont::SansSerif);
    top->addWidget(cost(h.cost, big), 0, Qt::AlignBaseline);
    v->addLayout(top);
    auto* counts = hrow(8);
    counts->addWidget(text(h.requests, caption(), Theme::secondary()));
    counts->addWidget(text("\u00b7", caption(), Theme::secondary()));
    counts->addWidget(text(h.tokens, caption(), Theme::secondary()));
    counts->addStretch();
    v->addLayout(counts);
    auto* bar = new QWidget;
    auto* barBox = vbox(bar, 6);
    barBox->addWidget(new Composition(h.composition, 6));
    barBox->addWidget(h.dominant.known ? text(h.dominant.text, caption2(), Theme::secondary())
                                       : unknownText(h.dominant.reason, caption2()));
    v->addWidget(bar);
    return w;
}

QWidget* emptyToday(const PanelEmptyToday& e) {
    auto* w = new QWidget;
    auto* v = vbox(w, 4, 12);
    v->addWidget(text(e.headline, callout()));
    QLabel* note = text(e.note, caption2(), Theme::secondary());
    note->setWordWrap(true);
    v->addWidget(note);
    w->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    return w;
}

QWidget* rhythm(const PanelRhythm& r) {
    auto* w = new QWidget;
    auto* v = vbox(w, 8, 12);
    v->addWidget(sectionTitle(r.title));
    auto* spark = new HourlySparkline(r.sparkline);
    spark->setFixedHeight(34);
    v->addWidget(spark);
    auto* row = hrow();
    row->addWidget(labelled(r.rate));
    row->addStretch();
    row->addWidget(labelled(r.yesterdaySameWindow));
    v->addLayout(row);
    return w;
}

QWidget* emptyList() {
    QFont f = caption();
    return unknownText({}, f);
}

QWidget* agents(const PanelAgents& a) {
    auto* w = new QWidget;
    auto* v = vbox(w, 8, 12);
    auto* top = hrow();
    top->addWidget(sectionTitle(a.title));
    top->addStretch();
    if (a.share) {
        QLabel* share = text(*a.share, caption2(), Theme::secondary());
        share->setToolTip(plainTip(a.shareHelp));
        top->addWidget(share);
    }
    v->addLayout(top);
    if (a.rows.empty()) v->addWidget(emptyList());
    for (const PanelAgentRow& r : a.rows) {
        auto* row = hrow(8);
        row->addWidget(new Dot(r.mainSession ? Theme::cacheRead() : Theme::accent()));
        row->addWidget(new ElidedLabel(qs(r.label), Qt::ElideMiddle, callout()), 1);
        row->addSpacing(8);
        row->addWidget(text(r.requests, Theme::monoSmall(), Theme::secondary()));
        row->addWidget(cost(r.cost, Theme::monoSmall()));
        v->addLayout(row);
    }
    return w;
}

QWidget* projects(const PanelProjects& p) {
    auto* w = new QWidget;
    auto* v = vbox(w, 8, 12);
    v->addWidget(sectionTitle(p.title));
    if (p.rows.empty()) v->addWidget(emptyList());
    for (const PanelProjectRow& r : p.rows) {
        auto* row = hrow(8);
        row->addWidget(new ElidedLabel(qs(r.label), Qt::ElideLeft, callout()), 1);
        row->addSpacing(8);
        row->addWidget(cost(r.cost, Theme::monoSmall()));
        v->addLayout(row);
    }
    return w;
}

QWidget* comparison(const PanelComparison& c) {
    auto* w = new QWidget;
    auto* row = new QHBoxLayout(w);
    row->setContentsMargins(12, 12, 12, 12);
    row->addWidget(labelled(c.yesterday));
    row->addStretch();
    row->addWidget(labelled(c.median));
    return w;
}

QWidget* footer(const PanelFooter& f, MenuBarPanel* panel) {
    auto* w = new QWidget;
    auto* v = vbox(w, 8, 12);

    auto* disclaimer = hrow(4);
    disclaimer->addWidget(symbol(Icons::Symbol::infoCircle, caption2(), Theme::secondary()), 0, Qt::AlignTop);
    QLabel* line = text(f.disclaimer, caption2(), Theme::secondary());
    line->setWordWrap(true);
    disclaimer->addWidget(line, 1);
    v->addLayout(disclaimer);

    auto* status = hrow(6);
    if (f.scanning) {
        status->addWidget(new Spinner(QFontMetrics(caption2()).height()));
        status->addWidget(text(*f.scanning, caption2(), Theme::secondary()));
    } else if (f.updated) {
        status->addWidget(symbol(Icons::Symbol::arrowClockwise, caption2(), Theme::secondary()));
        status->addWidget(text(*f.updated, caption2(), Theme::secondary()));
        if (f.duration) status->addWidget(text(*f.duration, caption2(), Theme::secondary()));
    }
    status->addStretch();
    QLabel* sources = text(f.sources, caption2(), Theme::secondary());
    sources->setToolTip(plainTip(f.sourcesHelp));
    status->addWidget(sources);
    v->addLayout(status);

    auto* buttons = hrow();
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
    for (QWidget* b : std::initializer_list<QWidget*>{open, refresh, quit}) b->setFont(caption());
    QObject::connect(open, &QPushButton::clicked, panel, &MenuBarPanel::openWindowRequested);
    QObject::connect(refresh, &QToolButton::clicked, panel, &MenuBarPanel::refreshRequested);
    QObject::connect(quit, &QPushButton::clicked, panel, &MenuBarPanel::quitRequested);
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
    auto* v = vbox(fresh, 0);
    v->addWidget(header(model.header));
    v->addWidget(divider());
    if (model.emptyToday) {
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
