// Helpers shared by checkers that keep every mutable thing a call touches in guarded buffers and compare
// the versions on all of them.
#ifndef CHECKASM_CHECKASM_UTIL_H
#define CHECKASM_CHECKASM_UTIL_H

#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

#include "checkasm.h"

namespace checkasm {

// Copies of the buffers, guard bands included.
inline std::vector<Guarded> Clone(const std::vector<Guarded>& from) {
    std::vector<Guarded> out;
    out.reserve(from.size());
    for (const Guarded& g : from) {
        out.emplace_back(g.size());
        out.back().CopyFrom(g);
    }
    return out;
}

// New buffers of the given sizes, random throughout.
inline std::vector<Guarded> Buffers(std::initializer_list<std::size_t> sizes) {
    std::vector<Guarded> out;
    out.reserve(sizes.size());
    for (std::size_t s : sizes) out.emplace_back(s);
    return out;
}

// What CompareVersions requires of the generic version's status.
enum class Expect {
    kAnyStatus,  // failures are compared like successes
    kSuccess,    // the call is valid: a negative status fails the check
};

// Runs every version on its own copy of the pristine buffers: the generic one must stay inside its
// regions, the others must match it bit for bit (status, buffers and guard bands). `call(fn, buffers)`
// runs one version and returns its status. Returns the generic version's status.
template <typename Fn, typename Call>
LumStatus CompareVersions(const Versions<Fn>& v, const std::vector<Guarded>& pristine, Call call,
                          const std::string& what, Expect expect = Expect::kAnyStatus) {
    std::vector<Guarded> ref = Clone(pristine);
    const LumStatus refStatus = call(v.ref(), ref);
    if (expect == Expect::kSuccess && refStatus < 0) Fail(v.name(), 0, "valid call refused: " + what);
    for (std::size_t p = 0; p < ref.size(); ++p)
        if (!ref[p].GuardsMatch(pristine[p])) Fail(v.name(), 0, "wrote outside its region: " + what);
    for (const auto& [level, fn] : v.all()) {
        if (level == 0) continue;
        std::vector<Guarded> out = Clone(pristine);
        if (call(fn, out) != refStatus) Fail(v.name(), level, "status differs: " + what);
        for (std::size_t p = 0; p < out.size(); ++p)
            if (!out[p].SameAs(ref[p])) Fail(v.name(), level, "output or guard bands differ: " + what);
    }
    return refStatus;
}

}  // namespace checkasm

#endif
