#ifndef HOST_FUNCTIONREGISTRY_H
#define HOST_FUNCTIONREGISTRY_H

// Excel's function registry: every xlfRegister call with its decoded arguments in order, whether
// Excel accepted it and the id it handed back, and the ids xlfUnregister retired.

#include "RecordCodec.h"
#include "Value.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace xlhost {

struct Registration {
    std::vector<Value> arguments;  // as Excel received them
    Layout layout;                 // the record layout the call came in
    std::optional<double> id;      // nothing when Excel refused the registration
    std::string rejection;         // why Excel refused it; empty when accepted
    bool active = false;           // accepted and not unregistered since

    bool accepted() const { return id.has_value(); }
    // Argument `index` (0-based) as narrow text up to any zero byte; empty when it is no text.
    std::string text(std::size_t index) const;
    std::string module() const { return text(0); }
    std::string procedure() const { return text(1); }
    std::string typeText() const { return text(2); }
    std::string functionName() const { return text(3); }
    std::string argumentText() const { return text(4); }
    // The macro type as REGISTER reads it: a number, or a text or boolean converted to one (Excel's own
    // template gives "1" and "2"); 1, a function, when absent; nothing when it is no number at all.
    std::optional<double> macroType() const;
    // Macro type 2: run from a menu, a shortcut or the Run dialog, never from a cell.
    bool isCommand() const { return macroType() == 2.0; }
    std::string category() const { return text(6); }
    std::string shortcut() const { return text(7); }
    std::string helpTopic() const { return text(8); }
    std::string functionHelp() const { return text(9); }
    std::size_t argumentHelpCount() const { return arguments.size() > 10 ? arguments.size() - 10 : 0; }
    std::string argumentHelp(std::size_t argument) const { return text(10 + argument); }
};

class FunctionRegistry {
public:
    // What Excel checks a registration against.
    struct Rules {
        int majorVersion;
        std::string addInPath;
        // Whether the add-in exports a procedure; without it exports are not checked.
        std::function<bool(const std::string& procedure)> exportExists;
    };

    // Records the call and gives Excel's result: the registration id as a number, or #VALUE! when
    // Excel refuses it. Registering the same procedure of the same module again gives the same id.
    Value registerFunction(std::vector<Value> arguments, Layout layout, const Rules& rules);
    // TRUE when the id belonged to an active registration, which is no longer active; else FALSE.
    Value unregister(const Value& id);

    const std::vector<Registration>& registrations() const { return registrations_; }
    // The latest accepted registration under that worksheet name, or null.
    const Registration* find(std::string_view functionName) const;
    // The active worksheet function, or command, Excel finds under that name, whatever its case.
    const Registration* findFunction(std::string_view name) const;
    const Registration* findCommand(std::string_view name) const;
    // The active registration with that register id, or null.
    const Registration* findById(double id) const;
    bool isActive(double id) const;

private:
    const Registration* findActive(std::string_view name, bool command) const;
    std::string rejectionOf(const Registration& registration, const Rules& rules) const;

    std::vector<Registration> registrations_;
    double nextId_ = 176128.0;
};

// Why Excel of that major version would refuse the type text, or nothing when it is good.
std::optional<std::string> typeTextProblem(const std::string& typeText, int majorVersion);

}  // namespace xlhost

#endif
