#include "widgets/StatusBar.hpp"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>

#include "model/StatusBarModel.hpp"
#include "model/UsageStore.hpp"
#include "widgets/AgeTicker.hpp"
#include "widgets/Icons.hpp"
#include "widgets/TextStyle.hpp"
#include "widgets/Theme.hpp"

namespace vantery::app {
namespace {

QLabel* plainLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

StatusBar::StatusBar(UsageStore& store, QWidget* parent)
    : QWidget(parent), store_(store), ticker_(AgeTicker::of(store)) {
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::AlternateBase);
    setFont(TextStyle::caption());
    TextStyle::setTextColor(this, Theme::secondary());

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 6, 12, 6);
    row->setSpacing(8);
    auto* identity = new QHBoxLayout;
    identity->setSpacing(6);
    row->addLayout(identity);
    row->addStretch(1);

    auto* flame = new QLabel(this);
    const int iconSize = fontMetrics().height();
    flame->setPixmap(Icons::icon(Icons::Symbol::flame, Theme::accent()).pixmap(iconSize, iconSize));
    identity->addWidget(flame);

    const auto texts =
        StatusBarModel::build(store_.state(), store_.lastRefresh(), {}, ticker_.now());
    auto* name = plainLabel(QString::fromStdString(texts.name), this);
    name->setFont(TextStyle::weighted(TextStyle::caption(), QFont::Medium));
    TextStyle::setTextColor(name, QApplication::palette().color(QPalette::WindowText));
    identity->addWidget(name);
    version_ = plainLabel({}, this);
    version_->setObjectName("version");
    identity->addWidget(version_);
    identity->addWidget(plainLabel(QString::fromStdString(texts.separator), this));
    freshness_ = plainLabel({}, this);
    freshness_->setObjectName("freshness");
    identity->addWidget(freshness_);

    connect(&store_, &UsageStore::stateChanged, this, &StatusBar::redraw);
    connect(&store_, &UsageStore::refreshPublished, this, &StatusBar::redraw);
    // Also after every refresh, which the ticker reads the clock for.
    connect(&ticker_, &AgeTicker::ticked, this, &StatusBar::redraw);
    redraw();
}

void StatusBar::redraw() {
    const QString shipped = QCoreApplication::applicationVersion();
    std::optional<std::string> version;
    if (!shipped.isEmpty()) version = shipped.toStdString();
    const auto texts =
        StatusBarModel::build(store_.state(), store_.lastRefresh(), version, ticker_.now());
    version_->setVisible(texts.version.has_value());
    version_->setText(QString::fromStdString(texts.version.value_or("")));
    freshness_->setText(QString::fromStdString(texts.freshness));
}

} // namespace vantery::app
