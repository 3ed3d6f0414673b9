// SPDX-License-Identifier: MIT

#include "platform/event.h"

#include <bit>
#include <cmath>
#include <limits>

namespace glidewheel::platform {

namespace {

std::int64_t saturatingTruncate(double value) {
    if (std::isnan(value)) return 0;
    // 2^63 is exactly representable; anything at or beyond it does not fit.
    constexpr double kLimit = 9223372036854775808.0;
    if (value >= kLimit) return std::numeric_limits<std::int64_t>::max();
    if (value < -kLimit) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);
}

}  // namespace

const Event::Slot* Event::find(EventField field) const {
    for (std::uint32_t i = 0; i < count_; ++i) {
        if (slots_[i].field == field) return &slots_[i];
    }
    return nullptr;
}

Event::Slot* Event::slotFor(EventField field) {
    if (const Slot* existing = find(field)) return const_cast<Slot*>(existing);
    if (count_ == kMaxFields) return nullptr;
    Slot& slot = slots_[count_++];
    slot.field = field;
    return &slot;
}

std::int64_t Event::integerValue(EventField field) const {
    const Slot* slot = find(field);
    if (slot == nullptr) return 0;
    return slot->isDouble ? saturatingTruncate(slot->real) : slot->integer;
}

double Event::doubleValue(EventField field) const {
    const Slot* slot = find(field);
    if (slot == nullptr) return 0.0;
    return slot->isDouble ? slot->real : static_cast<double>(slot->integer);
}

bool Event::setIntegerValue(EventField field, std::int64_t value) {
    Slot* slot = slotFor(field);
    if (slot == nullptr) return false;
    slot->isDouble = false;
    slot->integer = value;
    return true;
}

bool Event::setDoubleValue(EventField field, double value) {
    Slot* slot = slotFor(field);
    if (slot == nullptr) return false;
    slot->isDouble = true;
    slot->real = value;
    return true;
}

bool operator==(const Event& a, const Event& b) {
    if (a.type_ != b.type_ || a.flags_ != b.flags_ || a.timestamp_ != b.timestamp_ ||
        a.count_ != b.count_) {
        return false;
    }
    // Same fields in any order, each with the same type and the same bits (so NaN equals itself).
    for (std::uint32_t i = 0; i < a.count_; ++i) {
        const Event::Slot& slot = a.slots_[i];
        const Event::Slot* other = b.find(slot.field);
        if (other == nullptr || other->isDouble != slot.isDouble) return false;
        const auto bits = slot.isDouble ? std::bit_cast<std::uint64_t>(slot.real)
                                        : static_cast<std::uint64_t>(slot.integer);
        const auto otherBits = other->isDouble ? std::bit_cast<std::uint64_t>(other->real)
                                               : static_cast<std::uint64_t>(other->integer);
        if (bits != otherBits) return false;
    }
    return true;
}

}  // namespace glidewheel::platform
