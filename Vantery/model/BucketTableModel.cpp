#include "model/BucketTableModel.hpp"

#include <utility>

#include "model/QtText.hpp"

namespace vantery::app {

BucketTableModel::BucketTableModel(std::string firstTitle, QObject* parent)
    : QAbstractTableModel(parent), firstTitle_(std::move(firstTitle)) {}

void BucketTableModel::setRows(std::vector<BucketTableRow> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

int BucketTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int BucketTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columnCount_;
}

QVariant BucketTableModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const BucketTableRow& r = row(index.row());
    const auto column = static_cast<Column>(index.column());
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case labelColumn:
            return qs(r.label);
        case requestsColumn:
            return qs(FigureTexts::requests(r.bucket));
        case tokensColumn:
            return qs(FigureTexts::tokens(r.bucket));
        case compositionColumn:
            return {};
        case costColumn:
            return qs(FigureTexts::cost(r.bucket.cost).text);
        case columnCount_:
            return {};
        }
        return {};
    case Qt::TextAlignmentRole:
        if (column == labelColumn || column == compositionColumn)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
        return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
    case Qt::ToolTipRole:
    case CaveatRole:
        if (column != costColumn) return {};
        if (auto caveat = FigureTexts::cost(r.bucket.cost).caveat) return qs(*caveat);
        return {};
    case AccessoryRole:
        if (column == labelColumn && r.accessory) return qs(*r.accessory);
        return {};
    case ToneRole:
        if (column == costColumn) return static_cast<int>(FigureTexts::cost(r.bucket.cost).tone);
        return {};
    default:
        return {};
    }
}

QVariant BucketTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
    case labelColumn:
        return qs(firstTitle_);
    case requestsColumn:
        return QStringLiteral("requests");
    case tokensColumn:
        return QStringLiteral("tokens");
    case compositionColumn:
        return QStringLiteral("composition");
    case costColumn:
        return QStringLiteral("cost");
    default:
        return {};
    }
}

} // namespace vantery::app
