#include "widgets/MainWindow.hpp"

#include <QAction>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QSplitter>
#include <QToolBar>
#include <QVBoxLayout>

#include "model/StatusBarModel.hpp"
#include "model/UsageStore.hpp"
#include "widgets/FigureViews.hpp"
#include "widgets/Icons.hpp"
#include "widgets/StatusBar.hpp"
#include "widgets/TextStyle.hpp"
#include "widgets/Theme.hpp"
#include "widgets/WindowShortcuts.hpp"

namespace vantery::app {
namespace {

constexpr int kSidebarMin = 190;
constexpr int kSidebarIdeal = 205;
constexpr int kSidebarMax = 240;

QString qstr(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

MainWindow::MainWindow(UsageStore& store, Tab initial, QWidget* parent)
    : QMainWindow(parent), store_(store), tab_(initial) {
    setObjectName("main");
    setWindowTitle(QStringLiteral("Vantery"));

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* split = new QSplitter(Qt::Horizontal, central);
    split->setChildrenCollapsible(false);
    split->addWidget(buildSidebar());
    detail_ = new QWidget(split);
    detail_->setObjectName("detail");
    detail_->setMinimumSize(720, 520);
    detailLayout_ = new QVBoxLayout(detail_);
    detailLayout_->setContentsMargins(0, 0, 0, 0);
    split->addWidget(detail_);
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    split->setSizes({kSidebarIdeal, 1040 - kSidebarIdeal});
    column->addWidget(split, 1);
    // Under both columns, across the whole window.
    column->addWidget(new StatusBar(store_, central));
    setCentralWidget(central);

    buildToolbar();
    new WindowShortcuts(this);
    resize(1040, 720);
    connect(&store_, &UsageStore::stateChanged, this, &MainWindow::redrawProgress);
    redrawProgress();
    selectTab(initial);
}

QWidget* MainWindow::buildSidebar() {
    auto* sidebar = new QWidget;
    sidebar->setObjectName("sidebar");
    sidebar->setMinimumWidth(kSidebarMin);
    sidebar->setMaximumWidth(kSidebarMax);
    auto* column = new QVBoxLayout(sidebar);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    sidebar_ = new QListWidget(sidebar);
    sidebar_->setFrameShape(QFrame::NoFrame);
    sidebar_->setSelectionMode(QAbstractItemView::SingleSelection);
    sidebar_->setIconSize({18, 18});
    for (const TabInfo& tab : tabTable()) {
        auto* item = new QListWidgetItem(Icons::icon(tab.icon, Theme::accent()), qstr(tab.label));
        item->setSizeHint({0, 30});
        sidebar_->addItem(item);
    }
    connect(sidebar_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row < static_cast<int>(tabTable().size()))
            showTab(tabTable()[static_cast<size_t>(row)].tab);
    });
    // The selection can never be empty: a click that clears it puts the tab back.
    connect(sidebar_, &QListWidget::itemSelectionChanged, this, [this] {
        if (sidebar_->selectedItems().isEmpty()) sidebar_->item(tabIndex(tab_))->setSelected(true);
    });
    column->addWidget(sidebar_, 1);

    auto* footer = new QVBoxLayout;
    footer->setContentsMargins(10, 10, 10, 10);
    footer->setSpacing(6);
    auto* divider = new QFrame(sidebar);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    footer->addWidget(divider);
    footer->addWidget(new DisclaimerLine(sidebar));
    column->addLayout(footer);
    return sidebar;
}

void MainWindow::buildToolbar() {
    auto* bar = addToolBar(QStringLiteral("Toolbar"));
    bar->setObjectName("toolbar");
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->toggleViewAction()->setVisible(false);

    progress_ = new QWidget(bar);
    auto* row = new QHBoxLayout(progress_);
    row->setContentsMargins(8, 0, 8, 0);
    row->setSpacing(6);
    auto* spinner = new QProgressBar(progress_);
    spinner->setRange(0, 0); // indeterminate
    spinner->setTextVisible(false);
    spinner->setFixedSize(48, 8);
    row->addWidget(spinner);
    progressText_ = new QLabel(progress_);
    progressText_->setObjectName("progressText");
    progressText_->setTextFormat(Qt::PlainText);
    progressText_->setFont(TextStyle::caption());
    TextStyle::setTextColor(progressText_, Theme::secondary());
    row->addWidget(progressText_);
    progressItem_ = bar->addWidget(progress_);

    auto* spacer = new QWidget(bar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    bar->addWidget(spacer);

    const QColor ink = palette().color(QPalette::WindowText);
    auto* refresh =
        bar->addAction(Icons::icon(Icons::Symbol::arrowClockwise, ink), QStringLiteral("Refresh"));
    refresh->setObjectName("refreshButton");
    refresh->setToolTip(QStringLiteral("refresh"));
    // Never disabled: a press while a refresh runs is absorbed by the store.
    connect(refresh, &QAction::triggered, &store_, &UsageStore::refresh);
}

void MainWindow::redrawProgress() {
    const auto text = StatusBarModel::progress(store_.state());
    progressText_->setText(QString::fromStdString(text.value_or("")));
    // The toolbar item's action governs its visibility inside the bar.
    progressItem_->setVisible(text.has_value());
}

void MainWindow::selectTab(Tab tab) {
    if (sidebar_->currentRow() == tabIndex(tab))
        showTab(tab);
    else
        sidebar_->setCurrentRow(tabIndex(tab));
}

void MainWindow::showTab(Tab tab) {
    tab_ = tab;
    if (page_) {
        detailLayout_->removeWidget(page_);
        page_->hide();
        page_->deleteLater();
    }
    page_ = createTab(tab, store_, detail_);
    detailLayout_->addWidget(page_);
    page_->show();
    emit tabChanged(tab);
}

} // namespace vantery::app
