#include "atspi_bridge.hpp"

#include <atk-bridge.h>
#include <atk/atk.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "base/log.hpp"

namespace vesk_ui::detail {

namespace {

// What one ATK object shows: a node of the tree, and its place in it.
struct Mirror {
  AtspiBridge::Impl* owner = nullptr;
  std::string name;  // semantic name; empty for nodes nothing can run
  Rect rect;         // window coordinates
  bool located = true;
  std::vector<AtkObject*> children;  // referenced
};

struct VeskAccessible {
  AtkObject parent;
  Mirror* mirror;
};
struct VeskAccessibleClass {
  AtkObjectClass parent_class;
};

// Text fields also take text from assistive technology.
struct VeskEntry {
  VeskAccessible parent;
};
struct VeskEntryClass {
  VeskAccessibleClass parent_class;
};

GType vesk_accessible_get_type();
GType vesk_entry_get_type();

Mirror* mirror_of(gpointer object) {
  return reinterpret_cast<VeskAccessible*>(object)->mirror;
}

}  // namespace

struct AtspiBridge::Impl {
  std::string app_name;
  std::function<void()> wake;
  std::thread thread;
  GMainLoop* loop = nullptr;  // the bridge thread's
  AtkObject* application = nullptr;

  std::mutex mu;  // guards everything below
  std::optional<accessibility::Tree> pending;
  Point origin;
  std::vector<AccessibleRequest> requests;

  // UI thread only.
  std::optional<accessibility::Tree> last_published;

  void request(const std::string& name, accessibility::SemanticAction action) {
    {
      std::lock_guard lock(mu);
      requests.push_back({name, std::move(action)});
    }
    if (wake) wake();
  }
  Point window_origin() {
    std::lock_guard lock(mu);
    return origin;
  }
  void run();
  void apply();
};

namespace {

// ATK asks the toolkit for the application's root through a class hook
// without user data, so the one bridge of the process is found here.
AtkObject* g_application = nullptr;

void vesk_accessible_component_init(AtkComponentIface* iface);
void vesk_accessible_action_init(AtkActionIface* iface);
void vesk_entry_editable_init(AtkEditableTextIface* iface);

G_DEFINE_TYPE_WITH_CODE(VeskAccessible, vesk_accessible, ATK_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_COMPONENT, vesk_accessible_component_init)
                            G_IMPLEMENT_INTERFACE(ATK_TYPE_ACTION, vesk_accessible_action_init))
G_DEFINE_TYPE_WITH_CODE(VeskEntry, vesk_entry, vesk_accessible_get_type(),
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_EDITABLE_TEXT, vesk_entry_editable_init))

void vesk_accessible_init(VeskAccessible* self) {
  self->mirror = new Mirror;
}

void vesk_accessible_finalize(GObject* object) {
  Mirror* m = mirror_of(object);
  for (AtkObject* c : m->children) g_object_unref(c);
  delete m;
  G_OBJECT_CLASS(vesk_accessible_parent_class)->finalize(object);
}

gint vesk_accessible_n_children(AtkObject* object) {
  return static_cast<gint>(mirror_of(object)->children.size());
}

AtkObject* vesk_accessible_ref_child(AtkObject* object, gint i) {
  const auto& kids = mirror_of(object)->children;
  if (i < 0 || static_cast<std::size_t>(i) >= kids.size()) return nullptr;
  return ATK_OBJECT(g_object_ref(kids[static_cast<std::size_t>(i)]));
}

gint vesk_accessible_index_in_parent(AtkObject* object) {
  AtkObject* parent = atk_object_get_parent(object);
  if (parent == nullptr || !G_TYPE_CHECK_INSTANCE_TYPE(parent, vesk_accessible_get_type())) {
    return -1;
  }
  const auto& kids = mirror_of(parent)->children;
  const auto it = std::find(kids.begin(), kids.end(), object);
  return it == kids.end() ? -1 : static_cast<gint>(it - kids.begin());
}

AtkStateSet* vesk_accessible_ref_state_set(AtkObject* object) {
  AtkStateSet* set = ATK_OBJECT_CLASS(vesk_accessible_parent_class)->ref_state_set(object);
  for (AtkStateType s :
       {ATK_STATE_ENABLED, ATK_STATE_SENSITIVE, ATK_STATE_VISIBLE, ATK_STATE_SHOWING}) {
    atk_state_set_add_state(set, s);
  }
  if (!mirror_of(object)->name.empty()) atk_state_set_add_state(set, ATK_STATE_FOCUSABLE);
  if (G_TYPE_CHECK_INSTANCE_TYPE(object, vesk_entry_get_type())) {
    atk_state_set_add_state(set, ATK_STATE_EDITABLE);
  }
  return set;
}

void vesk_accessible_class_init(VeskAccessibleClass* klass) {
  G_OBJECT_CLASS(klass)->finalize = vesk_accessible_finalize;
  AtkObjectClass* atk = ATK_OBJECT_CLASS(klass);
  atk->get_n_children = vesk_accessible_n_children;
  atk->ref_child = vesk_accessible_ref_child;
  atk->get_index_in_parent = vesk_accessible_index_in_parent;
  atk->ref_state_set = vesk_accessible_ref_state_set;
}

void vesk_accessible_get_extents(AtkComponent* component, gint* x, gint* y, gint* w, gint* h,
                                 AtkCoordType coords) {
  const Mirror* m = mirror_of(component);
  Point o;
  if (coords == ATK_XY_SCREEN && m->owner != nullptr) o = m->owner->window_origin();
  const auto round = [](double v) { return static_cast<gint>(v + (v < 0 ? -0.5 : 0.5)); };
  if (x) *x = round(m->rect.x0 + o.x);
  if (y) *y = round(m->rect.y0 + o.y);
  if (w) *w = round(m->rect.width());
  if (h) *h = round(m->rect.height());
}

gboolean vesk_accessible_grab_focus(AtkComponent* component) {
  Mirror* m = mirror_of(component);
  if (m->name.empty() || m->owner == nullptr) return FALSE;
  m->owner->request(m->name, {accessibility::Action::Focus, {}});
  return TRUE;
}

void vesk_accessible_component_init(AtkComponentIface* iface) {
  iface->get_extents = vesk_accessible_get_extents;
  iface->grab_focus = vesk_accessible_grab_focus;
}

gint vesk_accessible_n_actions(AtkAction* action) {
  return mirror_of(action)->name.empty() ? 0 : 1;
}

gboolean vesk_accessible_do_action(AtkAction* action, gint i) {
  Mirror* m = mirror_of(action);
  if (i != 0 || m->name.empty() || m->owner == nullptr) return FALSE;
  m->owner->request(m->name, {accessibility::Action::Activate, {}});
  return TRUE;
}

const gchar* vesk_accessible_action_name(AtkAction* action, gint i) {
  return i == 0 && !mirror_of(action)->name.empty() ? "click" : nullptr;
}

void vesk_accessible_action_init(AtkActionIface* iface) {
  iface->get_n_actions = vesk_accessible_n_actions;
  iface->do_action = vesk_accessible_do_action;
  iface->get_name = vesk_accessible_action_name;
}

void vesk_entry_init(VeskEntry*) {}
void vesk_entry_class_init(VeskEntryClass*) {}

void vesk_entry_set_text_contents(AtkEditableText* text, const gchar* contents) {
  Mirror* m = mirror_of(text);
  if (m->name.empty() || m->owner == nullptr) return;
  m->owner->request(m->name, {accessibility::Action::SetText, contents ? contents : ""});
}

void vesk_entry_editable_init(AtkEditableTextIface* iface) {
  iface->set_text_contents = vesk_entry_set_text_contents;
}

AtkRole role_for(const std::string& role) {
  static const std::pair<const char*, AtkRole> kRoles[] = {
      {"window", ATK_ROLE_FRAME},        {"menu", ATK_ROLE_MENU},
      {"menuitem", ATK_ROLE_MENU_ITEM},  {"button", ATK_ROLE_PUSH_BUTTON},
      {"control", ATK_ROLE_PUSH_BUTTON}, {"text-input", ATK_ROLE_ENTRY},
      {"navigation", ATK_ROLE_LANDMARK}, {"conversation-heading", ATK_ROLE_HEADING},
      {"message-list", ATK_ROLE_LIST},
  };
  for (const auto& [name, atk] : kRoles) {
    if (role == name) return atk;
  }
  return ATK_ROLE_PANEL;
}

AtkObject* mirror_node(const accessibility::Node& node, AtkObject* parent,
                       AtspiBridge::Impl* owner) {
  const bool entry = node.role == "text-input";
  auto* object =
      ATK_OBJECT(g_object_new(entry ? vesk_entry_get_type() : vesk_accessible_get_type(), nullptr));
  Mirror* m = mirror_of(object);
  m->owner = owner;
  m->name = node.name;
  m->rect = node.rect;
  atk_object_set_role(object, role_for(node.role));
  atk_object_set_name(object, node.label.c_str());
  if (!node.name.empty()) atk_object_set_accessible_id(object, node.name.c_str());
  atk_object_set_parent(object, parent);
  for (const auto& child : node.children) m->children.push_back(mirror_node(child, object, owner));
  return object;
}

void collect_names(const accessibility::Node& n, std::set<std::string>& out) {
  if (!n.name.empty()) out.insert(n.name);
  for (const auto& c : n.children) collect_names(c, out);
}

}  // namespace

void AtspiBridge::Impl::apply() {
  std::optional<accessibility::Tree> tree;
  {
    std::lock_guard lock(mu);
    tree.swap(pending);
  }
  if (!tree || application == nullptr) return;
  // The frame's controls that the tree does not already hold are listed
  // beside its nodes, so every control can be reached.
  accessibility::Node frame = tree->root;
  std::set<std::string> named;
  collect_names(frame, named);
  for (const auto& s : tree->synthetic) {
    if (s.name.empty() || named.insert(s.name).second) frame.children.push_back(s);
  }
  Mirror* app = mirror_of(application);
  AtkObject* fresh = mirror_node(frame, application, this);
  std::vector<AtkObject*> old = std::exchange(app->children, {fresh});
  for (std::size_t i = 0; i < old.size(); ++i) {
    g_signal_emit_by_name(application, "children-changed::remove", static_cast<gint>(i), old[i]);
    g_object_unref(old[i]);
  }
  g_signal_emit_by_name(application, "children-changed::add", 0, fresh);
}

void AtspiBridge::Impl::run() {
  GMainContext* context = g_main_context_default();
  if (!g_main_context_acquire(context)) {
    base::log::warn("vesk_ui", "accessibility bus: GLib's main context is taken; not published");
    return;
  }
  loop = g_main_loop_new(context, FALSE);
  application = ATK_OBJECT(g_object_new(vesk_accessible_get_type(), nullptr));
  mirror_of(application)->owner = this;
  atk_object_set_role(application, ATK_ROLE_APPLICATION);
  atk_object_set_name(application, app_name.c_str());
  g_application = application;
  auto* util = static_cast<AtkUtilClass*>(g_type_class_ref(ATK_TYPE_UTIL));
  util->get_root = [] { return g_application; };
  util->get_toolkit_name = []() -> const gchar* { return "vesk_ui"; };
  util->get_toolkit_version = []() -> const gchar* { return "1"; };
  if (atk_bridge_adaptor_init(nullptr, nullptr) != 0) {
    base::log::warn("vesk_ui",
                    "accessibility bus: not reachable; assistive technology will not "
                    "see this window");
  } else {
    base::log::info("vesk_ui", "accessibility bus: published as {}", app_name);
    apply();  // a tree handed over before the bus answered
    g_main_loop_run(loop);
    atk_bridge_adaptor_cleanup();
  }
  g_application = nullptr;
  g_object_unref(application);
  application = nullptr;
  g_type_class_unref(util);
  g_main_loop_unref(loop);
  g_main_context_release(context);
}

std::unique_ptr<AtspiBridge> AtspiBridge::start(std::string app_name, std::function<void()> wake) {
  if (const char* off = std::getenv("NO_AT_BRIDGE"); off && std::string(off) == "1") return nullptr;
  const char* session = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  const char* a11y = std::getenv("AT_SPI_BUS_ADDRESS");
  // Without a bus named, the D-Bus library would start one of its own on
  // the X display; the desktop always names its bus.
  if ((!session || !*session) && (!a11y || !*a11y)) return nullptr;
  static std::atomic<bool> started{false};
  if (started.exchange(true)) return nullptr;  // ATK has one root per process
  auto impl = std::make_unique<Impl>();
  impl->app_name = std::move(app_name);
  impl->wake = std::move(wake);
  Impl* raw = impl.get();
  impl->thread = std::thread([raw] { raw->run(); });
  return std::unique_ptr<AtspiBridge>(new AtspiBridge(std::move(impl)));
}

AtspiBridge::AtspiBridge(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

AtspiBridge::~AtspiBridge() {
  // The loop may not run yet (the bus is slow to answer) or at all (it was
  // unreachable); a quit queued now runs once it does.
  g_idle_add(
      [](gpointer data) {
        auto* impl = static_cast<Impl*>(data);
        if (impl->loop) g_main_loop_quit(impl->loop);
        return G_SOURCE_REMOVE;
      },
      impl_.get());
  if (impl_->thread.joinable()) impl_->thread.join();
}

void AtspiBridge::publish(const accessibility::Tree& tree, Point window_origin) {
  {
    std::lock_guard lock(impl_->mu);
    impl_->origin = window_origin;
  }
  if (impl_->last_published == tree) return;
  impl_->last_published = tree;
  {
    std::lock_guard lock(impl_->mu);
    impl_->pending = tree;
  }
  g_idle_add(
      [](gpointer data) {
        static_cast<Impl*>(data)->apply();
        return G_SOURCE_REMOVE;
      },
      impl_.get());
}

std::vector<AccessibleRequest> AtspiBridge::take_requests() {
  std::lock_guard lock(impl_->mu);
  return std::exchange(impl_->requests, {});
}

}  // namespace vesk_ui::detail
