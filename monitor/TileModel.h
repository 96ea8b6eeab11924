#pragma once
// The tile list's records: one root-level row per tank in LoadTanks order. The model owns
// every TItemNode for the whole run at a stable address; the editor, the readings and the
// poll scheduler all work on these same records through TankList.

#include "TItemNode.h"
#include "TankList.h"

#include <QAbstractListModel>

#include <memory>
#include <vector>

class TTileModel : public QAbstractListModel, public TankList {
    Q_OBJECT
public:
    explicit TTileModel(QObject* parent = nullptr);

    // Appends a tile whose record has every field zero, every text empty and Act false,
    // and returns that record to be filled.
    TItemNode& AppendTank();

    // Views neither lay out nor repaint between BeginLoad and EndLoad; they take up all
    // tiles appended meanwhile at once. Use LoadScope so EndLoad runs even on failure.
    void BeginLoad();
    void EndLoad();
    class LoadScope {
    public:
        explicit LoadScope(TTileModel& model) : model_(model) { model_.BeginLoad(); }
        ~LoadScope() { model_.EndLoad(); }
        LoadScope(const LoadScope&) = delete;
        LoadScope& operator=(const LoadScope&) = delete;

    private:
        TTileModel& model_;
    };

    // TankList
    int TankCount() const override;
    TItemNode& Tank(int index) override;
    const TItemNode& Tank(int index) const;
    // Has the tile measured again and repainted.
    void ResetTank(int index) override;

    // True when some tank is active (monitored).
    bool AnyActive() const;

    // The record behind an index of this model, or nullptr.
    const TItemNode* NodeAt(const QModelIndex& index) const;
    TItemNode* NodeAt(const QModelIndex& index);

    // QAbstractListModel
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    std::vector<std::unique_ptr<TItemNode>> nodes_;
    bool loading_ = false;
};
