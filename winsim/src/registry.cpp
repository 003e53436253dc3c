// Placeholder until the registry lands.
#include <winsim/registry.h>
namespace winsim {
struct Registry::Impl {};
Registry::Registry() : impl_(std::make_unique<Impl>()) {}
Registry::~Registry() = default;
}  // namespace winsim
