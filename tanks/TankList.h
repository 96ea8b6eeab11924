#pragma once
// The tile list as the rest of the station sees it: the records in LoadTanks order, and a
// way to have one tile measured and drawn again after its record changed.

#include "TItemNode.h"

class TankList {
public:
    virtual ~TankList() = default;
    virtual int TankCount() const = 0;
    virtual TItemNode& Tank(int index) = 0;
    // Re-measure and repaint the tile of this record.
    virtual void ResetTank(int index) = 0;

    // The first tank whose id equals the address, walking from the first tile; -1 if none.
    int FindIndex(unsigned address) {
        for (int i = 0; i < TankCount(); ++i)
            if (Tank(i).id == address)
                return i;
        return -1;
    }
    TItemNode* FindNode(unsigned address) {
        int i = FindIndex(address);
        return i < 0 ? nullptr : &Tank(i);
    }
};

// A list of records with no tiles; for tests and tools.
#include <memory>
#include <vector>
class PlainTankList : public TankList {
public:
    TItemNode& Add() { return *nodes.emplace_back(std::make_unique<TItemNode>()); }
    int TankCount() const override { return static_cast<int>(nodes.size()); }
    TItemNode& Tank(int index) override { return *nodes.at(index); }
    void ResetTank(int index) override { resets.push_back(index); }
    std::vector<std::unique_ptr<TItemNode>> nodes;
    std::vector<int> resets;
};
