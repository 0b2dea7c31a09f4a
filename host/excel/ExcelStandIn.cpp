#include "ExcelStandIn.h"

#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <utility>

namespace xlhost {

namespace {

ExcelStandIn* currentHost = nullptr;

}  // namespace

bool operator==(const StatusEntry& a, const StatusEntry& b) {
    return a.shown == b.shown && a.text == b.text;
}

std::ostream& operator<<(std::ostream& out, const StatusEntry& entry) {
    if (!entry.shown) return out << "<status bar cleared>";
    return out << Value::text(entry.text);
}

ExcelStandIn::ExcelStandIn(std::string versionText)
    : versionText_(std::move(versionText)), majorVersion_(std::atoi(versionText_.c_str())), ledger_(faults_) {
    if (currentHost != nullptr) throw std::logic_error("only one stand-in Excel can run at a time");
    currentHost = this;
}

ExcelStandIn::~ExcelStandIn() {
    checkForLeaks();
    if (!faults_.empty()) std::cerr << "stand-in Excel: faults of the add-in:\n" << faults_;
    currentHost = nullptr;
}

ExcelStandIn* ExcelStandIn::current() {
    return currentHost;
}

void ExcelStandIn::setVersion(std::string versionText) {
    versionText_ = std::move(versionText);
    majorVersion_ = std::atoi(versionText_.c_str());
}

std::vector<CallRecord> ExcelStandIn::callsTo(int function) const {
    std::vector<CallRecord> found;
    for (const CallRecord& call : calls_)
        if (call.function == function) found.push_back(call);
    return found;
}

std::optional<std::u16string> ExcelStandIn::statusBar() const {
    if (statusLog_.empty() || !statusLog_.back().shown) return std::nullopt;
    const std::u16string& text = statusLog_.back().text;
    return text.substr(0, text.find(u'\0'));
}

void ExcelStandIn::report(std::ostream& out) const {
    out << "stand-in Excel " << versionText_ << ": " << calls_.size() << " calls, " << ledger_.outstanding()
        << " blocks outstanding, " << faults_.all().size() << " faults\n"
        << faults_;
}

}  // namespace xlhost
