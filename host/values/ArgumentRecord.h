#ifndef HOST_ARGUMENTRECORD_H
#define HOST_ARGUMENTRECORD_H

// Records as Excel hands them to an add-in: built from a Value in either layout, owned by the
// caller (Excel), and read-only to the add-in; intact() tells whether the add-in wrote into one.

#include "RecordCodec.h"

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <vector>

namespace xlhost {

template <class L>
class ArgumentRecord {
public:
    using Record = typename L::Record;

    // Throws std::invalid_argument when the value cannot travel in this layout.
    explicit ArgumentRecord(Value value);
    ArgumentRecord(const ArgumentRecord&) = delete;
    ArgumentRecord& operator=(const ArgumentRecord&) = delete;

    Record* get() { return &record_; }
    const Record* get() const { return &record_; }
    const Value& value() const { return value_; }
    // True while neither the record nor its text, array or reference memory has been changed.
    bool intact() const;

private:
    Value value_;
    Record record_{};
    std::vector<std::max_align_t> block_;
    std::size_t blockBytes_ = 0;
    Record recordAsBuilt_{};
    std::vector<unsigned char> blockAsBuilt_;
};

// Several argument records and the pointer array that Excel4v and MdCallBack12 take.
template <class L>
class ArgumentList {
public:
    using Record = typename L::Record;

    ArgumentList(std::initializer_list<Value> values);
    explicit ArgumentList(const std::vector<Value>& values);

    int count() const { return static_cast<int>(pointers_.size()); }
    Record** pointers() { return pointers_.empty() ? nullptr : pointers_.data(); }
    Record* operator[](std::size_t index) { return pointers_.at(index); }
    bool intact() const;

private:
    std::vector<std::unique_ptr<ArgumentRecord<L>>> records_;
    std::vector<Record*> pointers_;
};

extern template class ArgumentRecord<Layout4>;
extern template class ArgumentRecord<Layout12>;
extern template class ArgumentList<Layout4>;
extern template class ArgumentList<Layout12>;

using Argument4 = ArgumentRecord<Layout4>;
using Argument12 = ArgumentRecord<Layout12>;
using Arguments4 = ArgumentList<Layout4>;
using Arguments12 = ArgumentList<Layout12>;

}  // namespace xlhost

#endif
