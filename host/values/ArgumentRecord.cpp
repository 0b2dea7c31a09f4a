#include "ArgumentRecord.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace xlhost {

template <class L>
ArgumentRecord<L>::ArgumentRecord(Value value) : value_(std::move(value)) {
    std::string problem;
    const auto bytes = RecordCodec<L>::blockSize(value_, &problem);
    if (!bytes)
        throw std::invalid_argument("cannot build " + describe(value_) + " as " + layoutName(L::layout) + ": " +
                                    problem);
    blockBytes_ = *bytes;
    block_.resize((blockBytes_ + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t));
    auto* block = reinterpret_cast<unsigned char*>(block_.data());
    RecordCodec<L>::encode(value_, record_, block);
    std::memcpy(&recordAsBuilt_, &record_, sizeof(Record));
    blockAsBuilt_.assign(block, block + blockBytes_);
}

template <class L>
bool ArgumentRecord<L>::intact() const {
    const auto* block = reinterpret_cast<const unsigned char*>(block_.data());
    return std::memcmp(&recordAsBuilt_, &record_, sizeof(Record)) == 0 &&
           std::equal(blockAsBuilt_.begin(), blockAsBuilt_.end(), block);
}

template <class L>
ArgumentList<L>::ArgumentList(std::initializer_list<Value> values) : ArgumentList(std::vector<Value>(values)) {}

template <class L>
ArgumentList<L>::ArgumentList(const std::vector<Value>& values) {
    for (const Value& value : values) {
        records_.push_back(std::make_unique<ArgumentRecord<L>>(value));
        pointers_.push_back(records_.back()->get());
    }
}

template <class L>
bool ArgumentList<L>::intact() const {
    for (const auto& record : records_)
        if (!record->intact()) return false;
    return true;
}

template class ArgumentRecord<Layout4>;
template class ArgumentRecord<Layout12>;
template class ArgumentList<Layout4>;
template class ArgumentList<Layout12>;

}  // namespace xlhost
