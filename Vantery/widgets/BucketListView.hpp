#pragma once
// A breakdown table for thousands of rows: draws the rows of a BucketTableModel as
// BucketRow lays them out (same columns, fonts, colours, elision and dividers at 0.35)
// without a widget per row, painting only the rows in view. It is as tall as all its
// rows, so it sits in a tab's scroll area below a TableHeader and a Divider.
#include <vector>

#include <QPointer>
#include <QWidget>

#include "model/BucketTableModel.hpp"

namespace vantery::app {

class BucketListView : public QWidget {
    Q_OBJECT
  public:
    /// Follows every change of `model` (resets, inserts, removals, data changes).
    explicit BucketListView(BucketTableModel* model, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    /// The row under a point of the widget, or -1.
    int rowAt(int y) const;
    /// The top of row `row` and its height (divider excluded).
    int rowTop(int row) const;
    int rowHeight(int row) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void relayout();
    struct Columns;
    Columns columns() const;

    QPointer<BucketTableModel> model_;
    std::vector<int> tops_; ///< tops_[i] = y of row i; tops_.back() = total height
};

} // namespace vantery::app
