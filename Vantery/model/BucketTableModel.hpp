#pragma once
// The rows of a breakdown table as an item model, for tables that can hold thousands of
// rows (a long range's projects or working directories): the painted list draws only the
// rows in view, in the same columns and formats as BucketRow.
#include <optional>
#include <string>
#include <vector>

#include <QAbstractTableModel>

#include "model/FigureTexts.hpp"
#include "vantery/report/Bucket.hpp"

namespace vantery::app {

/// One row of a breakdown table.
struct BucketTableRow {
    std::string label;
    Bucket bucket;
    std::optional<std::string> accessory; ///< the caption under the label
};

/// Five columns: the label, "requests", "tokens", "composition", "cost". Display texts
/// are the ones BucketRow shows; the custom roles carry what a painted row needs.
class BucketTableModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column {
        labelColumn,
        requestsColumn,
        tokensColumn,
        compositionColumn,
        costColumn,
        columnCount_
    };
    enum Role {
        AccessoryRole = Qt::UserRole + 1, ///< label column: the caption, or an invalid variant
        ToneRole,                         ///< cost column: the `Tone` of the amount, as int
        CaveatRole,                       ///< cost column: the caveat, or an invalid variant
    };

    explicit BucketTableModel(std::string firstTitle, QObject* parent = nullptr);

    /// Replaces every row (a model reset): views rebuild from the store, they never patch.
    void setRows(std::vector<BucketTableRow> rows);
    const std::vector<BucketTableRow>& rows() const noexcept { return rows_; }
    /// The row at `index`; valid for 0 ≤ index < rowCount().
    const BucketTableRow& row(int index) const { return rows_.at(static_cast<std::size_t>(index)); }
    const std::string& firstTitle() const noexcept { return firstTitle_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  private:
    std::string firstTitle_;
    std::vector<BucketTableRow> rows_;
};

} // namespace vantery::app
