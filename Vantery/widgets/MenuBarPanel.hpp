#pragma once
// The menu-bar panel's layout: lays out a PanelModel in a 340-pixel column and
// reports its three buttons. Holds no figures of its own: each setModel() builds the
// content afresh.
#include <QFrame>

#include "model/PanelModel.hpp"

namespace vantery::app {

class MenuBarPanel : public QFrame {
    Q_OBJECT

  public:
    static constexpr int panelWidth = 340;

    explicit MenuBarPanel(QWidget* parent = nullptr);

    /// Replaces the whole content with the sections of `model`.
    void setModel(const PanelModel& model);

  signals:
    void openWindowRequested();
    void refreshRequested();
    void quitRequested();

  private:
    QWidget* content_ = nullptr;
};

} // namespace vantery::app
