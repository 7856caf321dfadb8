// Owning wrapper for a VARIANT (property bag values read or written): cleared exactly once,
// never copied.
// Not thread-safe; an object belongs to the thread that reads into it.
#pragma once

#include <windows.h>
#include <oleauto.h>

class ScopedVariant {
 public:
  ScopedVariant() { ::VariantInit(&m_value); }
  // A string value to write (IPropertyBag::Write); String() is null when allocation failed.
  explicit ScopedVariant(const WCHAR* text) {
    ::VariantInit(&m_value);
    m_value.vt = VT_BSTR;
    m_value.bstrVal = ::SysAllocString(text);
  }
  ~ScopedVariant() { ::VariantClear(&m_value); }
  ScopedVariant(const ScopedVariant&) = delete;
  ScopedVariant& operator=(const ScopedVariant&) = delete;

  // For an out parameter (IPropertyBag::Read): clears the old value first.
  VARIANT* Receive() {
    ::VariantClear(&m_value);
    return &m_value;
  }
  // The string, or null when the value is not a BSTR.
  const WCHAR* String() const { return m_value.vt == VT_BSTR ? m_value.bstrVal : nullptr; }
  const VARIANT& Get() const { return m_value; }
  VARIANT* Ptr() { return &m_value; }

 private:
  VARIANT m_value;
};
