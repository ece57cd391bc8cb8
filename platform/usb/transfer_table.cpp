#include "transfer_table.h"

namespace ce::usb {

Transfer& TransferTable::Allocate() {
    if (free_.empty()) {
        slots_.push_back(std::make_unique<Transfer>());
        generations_.push_back(0);
        free_.reserve(slots_.capacity());  // releasing never allocates
        free_.push_back(static_cast<std::uint32_t>(slots_.size() - 1));
    }
    const std::uint32_t slot = free_.back();
    free_.pop_back();
    std::uint32_t& generation = generations_[slot];
    generation = generation == UINT32_MAX ? 1 : generation + 1;  // 0 marks a free slot
    Transfer& transfer = *slots_[slot];
    transfer = Transfer{};
    transfer.slot = slot;
    transfer.generation = generation;
    return transfer;
}

Transfer* TransferTable::Find(std::uint64_t handle) {
    const auto slot = static_cast<std::uint32_t>(handle & 0xFFFFFFFFu);
    const auto generation = static_cast<std::uint32_t>(handle >> 32);
    if (generation == 0 || slot >= slots_.size() || slots_[slot]->generation != generation) {
        return nullptr;
    }
    return slots_[slot].get();
}

void TransferTable::Release(Transfer& transfer) {
    transfer.generation = 0;
    transfer.device.reset();
    free_.push_back(transfer.slot);
}

}  // namespace ce::usb
