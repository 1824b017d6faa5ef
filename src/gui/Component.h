#pragma once
// Ownership and lookup by name. A form or frame owns the components made on it and frees
// them before its own window goes; anything with a name (controls, menu items, actions) is
// registered so that code and tests reach it as `form.Find<TEdit>("Edit7")`.

#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace gui {

class TComponent {
  public:
    explicit TComponent(std::string name) : name_(std::move(name)) {}
    virtual ~TComponent() = default;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;
    const std::string& Name() const { return name_; }

  private:
    std::string name_;
};

class TComponentOwner {
  public:
    virtual ~TComponentOwner() { FreeComponents(); }

    // Makes a component owned by this owner; it lives until the owner goes.
    template <typename T, typename... Args> T& Create(Args&&... args) {
        auto component = std::make_unique<T>(std::forward<Args>(args)...);
        T& result = *component;
        owned_.push_back(std::move(component));
        Register(result);
        return result;
    }

    // Names that are not owned here (menu items live in their menu) are registered too.
    void Register(TComponent& component) { named_.push_back(&component); }
    void Unregister(TComponent& component) { std::erase(named_, &component); }

    template <typename T> T* FindOrNull(const std::string& name) const {
        for (TComponent* component : named_)
            if (component->Name() == name)
                if (auto* typed = dynamic_cast<T*>(component)) return typed;
        return nullptr;
    }
    template <typename T> T& Find(const std::string& name) const {
        if (T* found = FindOrNull<T>(name)) return *found;
        throw std::out_of_range("no component named \"" + name + "\"");
    }
    template <typename T> std::vector<T*> ComponentsOf() const {
        std::vector<T*> result;
        for (TComponent* component : named_)
            if (auto* typed = dynamic_cast<T*>(component)) result.push_back(typed);
        return result;
    }

  protected:
    // Newest first, so children made after their container go before it.
    void FreeComponents() {
        while (!owned_.empty()) {
            std::unique_ptr<TComponent> last = std::move(owned_.back());
            owned_.pop_back();
            std::erase(named_, last.get());
            last.reset();
        }
        named_.clear();
    }

  private:
    std::vector<std::unique_ptr<TComponent>> owned_;
    std::vector<TComponent*> named_;
};

} // namespace gui
