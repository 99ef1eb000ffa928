// SPDX-License-Identifier: MIT
#pragma once

#include "text.h"
#include "win32.h"

#include <oleauto.h>
#include <unknwn.h>

#include <utility>

namespace platform::win32
{

// Owns one reference to a COM object.
template <class Interface> class ComPtr
{
  public:
    ComPtr() = default;
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr &) = delete;
    ComPtr &operator=(const ComPtr &) = delete;
    ComPtr(ComPtr &&other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
    ComPtr &operator=(ComPtr &&other) noexcept
    {
        if (this != &other) {
            reset();
            m_object = std::exchange(other.m_object, nullptr);
        }
        return *this;
    }

    Interface *get() const { return m_object; }
    Interface *operator->() const { return m_object; }
    explicit operator bool() const { return m_object != nullptr; }
    // For a function that hands out a new reference.
    Interface **put()
    {
        reset();
        return &m_object;
    }
    // For one that hands it out untyped, by interface id (CoCreateInstance).
    void **put_void() { return reinterpret_cast<void **>(put()); }
    void reset()
    {
        if (m_object)
            std::exchange(m_object, nullptr)->Release();
    }

  private:
    Interface *m_object = nullptr;
};

// Owns a BSTR.
class Bstr
{
  public:
    Bstr() = default;
    explicit Bstr(const Text &text) : m_text(SysAllocStringLen(wide(text), UINT(text.size()))) {}
    ~Bstr() { SysFreeString(m_text); }
    Bstr(const Bstr &) = delete;
    Bstr &operator=(const Bstr &) = delete;

    BSTR get() const { return m_text; }
    BSTR *put()
    {
        SysFreeString(std::exchange(m_text, nullptr));
        return &m_text;
    }
    Text text() const { return m_text ? fromWide(m_text, SysStringLen(m_text)) : Text(); }

  private:
    BSTR m_text = nullptr;
};

// Owns a VARIANT; starts empty.
class Variant
{
  public:
    Variant() { VariantInit(&m_value); }
    explicit Variant(bool value)
    {
        VariantInit(&m_value);
        V_VT(&m_value) = VT_BOOL;
        V_BOOL(&m_value) = value ? VARIANT_TRUE : VARIANT_FALSE;
    }
    ~Variant() { VariantClear(&m_value); }
    Variant(const Variant &) = delete;
    Variant &operator=(const Variant &) = delete;

    // By value, as the interfaces take their arguments; the copy is shallow.
    const VARIANT &get() const { return m_value; }

  private:
    VARIANT m_value;
};

} // namespace platform::win32
