#include "common/LazyLibrary.h"

#include <dlfcn.h>

bool LazyLibrary::load()
{
    std::call_once(m_once, [this] {
        m_handle = ::dlopen(m_fileName, RTLD_NOW | RTLD_LOCAL);
        if (m_handle == nullptr) {
            m_error = QString::fromLocal8Bit(::dlerror());
        }
    });
    return m_handle != nullptr;
}

QString LazyLibrary::loadError()
{
    load();
    return m_error;
}

void* LazyLibrary::symbol(const char* name)
{
    return load() ? ::dlsym(m_handle, name) : nullptr;
}
