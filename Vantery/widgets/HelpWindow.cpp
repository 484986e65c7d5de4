#include "widgets/HelpWindow.hpp"

#include <QLabel>
#include <QVBoxLayout>

#include <string>

#include "vantery/report/Derived.hpp"
#include "widgets/TextStyle.hpp"
#include "widgets/Theme.hpp"

namespace vantery::app {
namespace {

struct Entry {
    const char* title;
    const char* body;
};

struct Section {
    const char* title;
    std::initializer_list<Entry> entries;
};

const Section kSections[] = {
    {"What the figures are",
     {{"Not a bill.",
       "Every cost is your recorded usage multiplied by Anthropic's list API prices for the day "
       "each request ran. On a Max or Pro plan you do not pay per token, so the figure is a "
       "reconstruction of what the same work would cost on the API \u2014 useful for splitting a "
       "flat subscription across clients, not for reconciling an invoice."},
      {"\u201cUnknown\u201d is never \u201czero\u201d.",
       "A value that cannot be computed is shown as \u201cunknown\u201d with the reason in its "
       "tooltip. An empty hour, day or period is shown as absent, not as $0.00 \u2014 the absence "
       "of data is not a measurement."},
      {"A \u201c\u2265\u201d prefix means the figure is a lower bound.",
       "It appears when some requests ran on a model with no known price. Those requests are "
       "counted but not costed, and the warning next to the figure names how many."}}},
    {"The two figures people misread",
     {{"current rate",
       "The hour you are in, extrapolated once it is old enough to be worth extrapolating; "
       "otherwise the last hour that finished. It is a measurement of a recent hour, not a "
       "prediction of the day. When nothing recent can be measured it says \u201cunknown\u201d "
       "rather than reporting a stale hour as if it were now."},
      {"median, last 7 days",
       "The middle of the last seven days that have already finished. Today is deliberately "
       "excluded: a day that is still running would drag the very yardstick you are comparing "
       "today against."}}},
    {"Where the numbers come from",
     {{"Your own transcripts, read only.",
       "Vantery reads the JSONL transcripts under your Claude homes and never writes, moves or "
       "deletes anything there. The \u201cSources & honesty\u201d tab lists every file it read, "
       "what it rejected and why \u2014 check it there rather than taking this sentence for it."},
      {"Nothing leaves this machine.",
       "No usage data is sent anywhere. The only outbound connection is the update check, and "
       "only when you ask for one."}}},
};

QLabel* text(const QString& content, const QFont& font, bool secondary, QWidget* parent) {
    auto* label = new QLabel(content, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setFont(font);
    if (secondary) TextStyle::setTextColor(label, Theme::secondary());
    return label;
}

} // namespace

HelpWindow::HelpWindow(QWidget* parent) : QScrollArea(parent) {
    setWindowTitle(QStringLiteral("Vantery Help"));
    setMinimumSize(520, 420);
    resize(580, 620);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFrameShape(QFrame::NoFrame);

    auto* page = new QWidget;
    auto* stack = new QVBoxLayout(page);
    stack->setSpacing(18);
    stack->setContentsMargins(26, 26, 26, 26);

    const QFont callout = TextStyle::callout();
    auto* header = new QVBoxLayout;
    header->setSpacing(4);
    QLabel* name = text(QStringLiteral("Vantery"),
                        TextStyle::weighted(TextStyle::title2(), QFont::DemiBold), false, page);
    name->setObjectName("header");
    header->addWidget(name);
    header->addWidget(text(QString::fromUtf8(Derived::disclaimer.data(),
                                             static_cast<qsizetype>(Derived::disclaimer.size())),
                           callout, true, page));
    stack->addLayout(header);

    QFont sectionFont = TextStyle::weighted(TextStyle::caption2(), QFont::DemiBold);
    sectionFont.setLetterSpacing(QFont::AbsoluteSpacing, 0.6);
    for (const Section& section : kSections) {
        auto* column = new QVBoxLayout;
        column->setSpacing(10);
        auto* title = text(QString::fromUtf8(section.title).toUpper(), sectionFont, true, page);
        title->setObjectName("sectionTitle");
        column->addWidget(title);
        for (const Entry& entry : section.entries) {
            auto* pair = new QVBoxLayout;
            pair->setSpacing(2);
            pair->addWidget(text(QString::fromUtf8(entry.title),
                                 TextStyle::weighted(callout, QFont::Medium), false, page));
            auto* body = text(QString::fromUtf8(entry.body), callout, true, page);
            body->setObjectName("body");
            pair->addWidget(body);
            column->addLayout(pair);
        }
        stack->addLayout(column);
    }
    stack->addStretch(1);
    setWidget(page);
}

} // namespace vantery::app
