// What reading and writing the OLE2 container with libgsf share: its set-up, the collection of
// its warnings, and holding its GObjects. libgsf and GLib are used only in the Ole*.cpp files
// and in BiffText.cpp's code-page conversion. Internal to the container's files.
#pragma once

#include <glib-object.h>

#include <string>
#include <vector>

namespace rostrel::workbook::ole::detail {

// Initialises libgsf and routes its log to CollectWarnings (once per process).
void initOnce();

// Collects libgsf's warnings and criticals while a container is read or written on this
// thread: libgsf can drop a broken directory entry and carry on, saying so only in its log.
class CollectWarnings {
public:
    explicit CollectWarnings(std::string& into);
    ~CollectWarnings();
    CollectWarnings(const CollectWarnings&) = delete;
    CollectWarnings& operator=(const CollectWarnings&) = delete;

private:
    std::string* prev_;
};

// A GObject reference dropped at the end of a scope.
template <typename T> struct Unref {
    T* p;
    explicit Unref(T* q) : p(q) {}
    ~Unref() {
        if (p)
            g_object_unref(p);
    }
    Unref(const Unref&) = delete;
    Unref& operator=(const Unref&) = delete;
};

// GObjects kept alive until the walk that uses them is over.
class Holds {
public:
    Holds() = default;
    ~Holds() {
        for (auto it = objects_.rbegin(); it != objects_.rend(); ++it)
            g_object_unref(*it);
    }
    Holds(const Holds&) = delete;
    Holds& operator=(const Holds&) = delete;
    template <typename T> T* keep(T* p) {
        if (p)
            objects_.push_back(p);
        return p;
    }

private:
    std::vector<gpointer> objects_;
};

// Throws WorkbookError Damaged: "the file's container is damaged: <what>".
[[noreturn]] void damaged(const std::string& what);

} // namespace rostrel::workbook::ole::detail
