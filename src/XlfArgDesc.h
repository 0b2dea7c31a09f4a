#ifndef SRC_XLFARGDESC_H
#define SRC_XLFARGDESC_H

#include <string>

namespace zep {

// One argument as the function wizard shows it: its name, its help text and its type tag.
class XlfArgDesc {
public:
    // Warns on the diagnostic stream when the name is too long for the wizard (kept all the
    // same), and ends the comment with ". " unless it already ends so.
    XlfArgDesc(std::string name, std::string comment, std::string typeTag);

    const std::string& Name() const { return name_; }
    const std::string& Comment() const { return comment_; }
    // The Excel type code: the symbolic tags resolved against the running Excel, any other
    // tag taken as the code itself.
    std::string TypeCode() const;

private:
    std::string name_;
    std::string comment_;
    std::string typeTag_;
};

}  // namespace zep

#endif
