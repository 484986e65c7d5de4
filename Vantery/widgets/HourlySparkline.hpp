#pragma once
// A day's cost by local hour: 24 bars standing on the bottom edge, the current hour in
// full accent, each with its help text. The caller sets the height; bar heights are
// absolute, so a taller frame only adds room above them.
#include <QWidget>

#include "model/SparklineModel.hpp"

namespace vantery::app {

class HourlySparkline : public QWidget {
    Q_OBJECT

  public:
    explicit HourlySparkline(QWidget* parent = nullptr);
    explicit HourlySparkline(SparklineModel model, QWidget* parent = nullptr);

    /// Replaces the bars and repaints.
    void setModel(SparklineModel model);
    const SparklineModel& model() const noexcept { return model_; }

    /// The bar under a point in widget coordinates (columns share the width, 1 px apart);
    /// -1 outside every column.
    int hourAt(QPoint point) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

  private:
    /// Left edge and width of an hour's column.
    std::pair<double, double> column(int hour) const;

    SparklineModel model_;
};

} // namespace vantery::app
