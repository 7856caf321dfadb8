// Handing out and taking over COM references that are already counted, the same with every
// toolchain's ComPtr.
#pragma once

#include <windows.h>
#include <unknwn.h>
#include <wrl/client.h>

// Hands out a new object created with reference count 1: queries it, then drops the creation
// reference, so a failed query destroys it.
template <class T>
HRESULT HandOutNewObject(T* created, REFIID iid, void** object) {
  if (object == nullptr) {
    if (created != nullptr) created->Release();
    return E_POINTER;
  }
  *object = nullptr;
  if (created == nullptr) return E_OUTOFMEMORY;
  const HRESULT hr = created->QueryInterface(iid, object);
  created->Release();
  return hr;
}

// Takes over a reference already counted for the caller (a new object's creation reference, the
// filter of a PIN_INFO) without adding one. Use this instead of ComPtr::Attach, which in
// mingw-w64's wrl/client.h adds a reference (MSVC's does not), so the object would never be
// destroyed.
template <class T>
Microsoft::WRL::ComPtr<T> AdoptNewObject(T* created) {
  Microsoft::WRL::ComPtr<T> owner;
  *owner.ReleaseAndGetAddressOf() = created;
  return owner;
}
