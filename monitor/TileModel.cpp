#include "TileModel.h"

#include "StoredText.h"

#include <algorithm>

TTileModel::TTileModel(QObject* parent) : QAbstractListModel(parent) {}

TItemNode& TTileModel::AppendTank() {
    const int row = TankCount();
    if (!loading_)
        beginInsertRows(QModelIndex(), row, row);
    TItemNode& node = *nodes_.emplace_back(std::make_unique<TItemNode>());
    if (!loading_)
        endInsertRows();
    return node;
}

void TTileModel::BeginLoad() {
    if (loading_)
        return;
    beginResetModel();
    loading_ = true;
}

void TTileModel::EndLoad() {
    if (!loading_)
        return;
    loading_ = false;
    endResetModel();
}

bool TTileModel::AnyActive() const {
    return std::any_of(nodes_.begin(), nodes_.end(), [](const auto& node) { return node->Act; });
}

int TTileModel::TankCount() const {
    return static_cast<int>(nodes_.size());
}

TItemNode& TTileModel::Tank(int index) {
    return *nodes_.at(static_cast<std::size_t>(index));
}

const TItemNode& TTileModel::Tank(int index) const {
    return *nodes_.at(static_cast<std::size_t>(index));
}

void TTileModel::ResetTank(int index) {
    if (loading_ || index < 0 || index >= TankCount())
        return;
    const QModelIndex changed = this->index(index);
    // Views measure the row again on a change of its size hint.
    emit dataChanged(changed, changed, {Qt::DisplayRole, Qt::SizeHintRole});
}

const TItemNode* TTileModel::NodeAt(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this || index.row() >= TankCount())
        return nullptr;
    return nodes_[static_cast<std::size_t>(index.row())].get();
}

TItemNode* TTileModel::NodeAt(const QModelIndex& index) {
    return const_cast<TItemNode*>(std::as_const(*this).NodeAt(index));
}

int TTileModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || loading_ ? 0 : TankCount();
}

QVariant TTileModel::data(const QModelIndex& index, int role) const {
    const TItemNode* node = NodeAt(index);
    if (!node)
        return {};
    // The tooltip shows the whole name where the tile has to cut it.
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return StoredText::FromStored(node->Name);
    return {};
}

Qt::ItemFlags TTileModel::flags(const QModelIndex& index) const {
    return NodeAt(index) ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
