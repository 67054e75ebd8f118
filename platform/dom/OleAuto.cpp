// BSTRs, VARIANT conversions and _com_error.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <strings.h>
#include <string>

#include "KstOleAuto.h"
#include "KstTime.h"

// ---- BSTR ------------------------------------------------------------------------------------

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    if (length > (std::numeric_limits<UINT>::max() - 8) / sizeof(OLECHAR)) return nullptr;
    auto* block = static_cast<unsigned char*>(
        std::malloc(sizeof(UINT) + (static_cast<size_t>(length) + 1) * sizeof(OLECHAR)));
    if (!block) return nullptr;
    UINT bytes = length * static_cast<UINT>(sizeof(OLECHAR));
    std::memcpy(block, &bytes, sizeof bytes);
    auto* units = reinterpret_cast<OLECHAR*>(block + sizeof(UINT));
    if (text)
        std::memcpy(units, text, length * sizeof(OLECHAR));
    else
        std::memset(units, 0, length * sizeof(OLECHAR));
    units[length] = 0;
    return units;
}

BSTR SysAllocString(const OLECHAR* text) {
    if (!text) return nullptr;
    UINT length = 0;
    while (text[length]) ++length;
    return SysAllocStringLen(text, length);
}

void SysFreeString(BSTR text) {
    if (text) std::free(reinterpret_cast<unsigned char*>(text) - sizeof(UINT));
}

UINT SysStringLen(BSTR text) {
    if (!text) return 0;
    UINT bytes;
    std::memcpy(&bytes, reinterpret_cast<unsigned char*>(text) - sizeof(UINT), sizeof bytes);
    return bytes / static_cast<UINT>(sizeof(OLECHAR));
}

// ---- VARIANT -----------------------------------------------------------------------------------

HRESULT VariantClear(VARIANT* value) {
    if (!value) return E_INVALIDARG;
    if (value->vt == VT_BSTR) SysFreeString(value->bstrVal);
    VariantInit(value);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* target, const VARIANT* source) {
    if (!target || !source) return E_INVALIDARG;
    VARIANT copy = *source;
    if (source->vt == VT_BSTR && source->bstrVal) {
        copy.bstrVal = SysAllocStringLen(source->bstrVal, SysStringLen(source->bstrVal));
        if (!copy.bstrVal) return E_OUTOFMEMORY;
    }
    VariantClear(target);
    *target = copy;
    return S_OK;
}

namespace {

// A source value as one of three kinds.
struct Scalar {
    enum Kind { Integer, Unsigned, Real, Text, None } kind = None;
    long long i = 0;
    unsigned long long u = 0;
    double r = 0;
    std::string text;  // ASCII only; other characters make the text unusable
    bool textUsable = true;
};

HRESULT ReadScalar(const VARIANT& v, Scalar& s) {
    switch (v.vt) {
        case VT_EMPTY:
            s.kind = Scalar::Integer;
            return S_OK;
        case VT_I1:
            s.kind = Scalar::Integer, s.i = v.cVal;
            return S_OK;
        case VT_UI1:
            s.kind = Scalar::Integer, s.i = v.bVal;
            return S_OK;
        case VT_I2:
            s.kind = Scalar::Integer, s.i = v.iVal;
            return S_OK;
        case VT_UI2:
            s.kind = Scalar::Integer, s.i = v.uiVal;
            return S_OK;
        case VT_I4:
            s.kind = Scalar::Integer, s.i = v.lVal;
            return S_OK;
        case VT_INT:
            s.kind = Scalar::Integer, s.i = v.intVal;
            return S_OK;
        case VT_UI4:
            s.kind = Scalar::Integer, s.i = v.ulVal;
            return S_OK;
        case VT_UINT:
            s.kind = Scalar::Integer, s.i = v.uintVal;
            return S_OK;
        case VT_I8:
            s.kind = Scalar::Integer, s.i = v.llVal;
            return S_OK;
        case VT_UI8:
            s.kind = Scalar::Unsigned, s.u = v.ullVal;
            return S_OK;
        case VT_BOOL:
            s.kind = Scalar::Integer, s.i = v.boolVal ? -1 : 0;
            return S_OK;
        case VT_R4:
            s.kind = Scalar::Real, s.r = v.fltVal;
            return S_OK;
        case VT_R8:
            s.kind = Scalar::Real, s.r = v.dblVal;
            return S_OK;
        case VT_DATE:
            s.kind = Scalar::Real, s.r = v.date;
            return S_OK;
        case VT_BSTR:
            s.kind = Scalar::Text;
            for (UINT k = 0, n = SysStringLen(v.bstrVal); k < n; ++k) {
                if (v.bstrVal[k] > 0x7F) s.textUsable = false;
                s.text += static_cast<char>(v.bstrVal[k]);
            }
            return S_OK;
        case VT_NULL:
        case VT_ERROR:
        case VT_DISPATCH:
        case VT_UNKNOWN:
            return DISP_E_TYPEMISMATCH;
        default:
            return DISP_E_BADVARTYPE;
    }
}

std::string Trimmed(const std::string& text) {
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// A whole decimal number, optionally signed; anything else is no integer.
HRESULT TextToInteger(const Scalar& s, long long& value) {
    std::string t = Trimmed(s.text);
    if (!s.textUsable || t.empty()) return DISP_E_TYPEMISMATCH;
    size_t k = (t[0] == '-' || t[0] == '+') ? 1 : 0;
    if (k == t.size()) return DISP_E_TYPEMISMATCH;
    for (size_t j = k; j < t.size(); ++j)
        if (t[j] < '0' || t[j] > '9') return DISP_E_TYPEMISMATCH;
    errno = 0;
    value = std::strtoll(t.c_str(), nullptr, 10);
    return errno == ERANGE ? DISP_E_OVERFLOW : S_OK;
}

HRESULT TextToReal(const Scalar& s, double& value) {
    std::string t = Trimmed(s.text);
    if (!s.textUsable || t.empty()) return DISP_E_TYPEMISMATCH;
    char* end = nullptr;
    value = std::strtod(t.c_str(), &end);
    if (*end != '\0' || !std::isfinite(value)) return DISP_E_TYPEMISMATCH;
    return S_OK;
}

HRESULT ToInteger(const Scalar& s, long long low, long long high, long long& value) {
    switch (s.kind) {
        case Scalar::Integer:
            value = s.i;
            break;
        case Scalar::Unsigned:
            if (s.u > static_cast<unsigned long long>(high)) return DISP_E_OVERFLOW;
            value = static_cast<long long>(s.u);
            break;
        case Scalar::Real: {
            double rounded = std::nearbyint(s.r);  // half to even
            if (!(rounded >= static_cast<double>(low) && rounded <= static_cast<double>(high)))
                return DISP_E_OVERFLOW;
            value = static_cast<long long>(rounded);
            break;
        }
        case Scalar::Text: {
            HRESULT hr = TextToInteger(s, value);
            if (hr != S_OK) return hr;
            break;
        }
        default:
            return DISP_E_TYPEMISMATCH;
    }
    return value < low || value > high ? DISP_E_OVERFLOW : S_OK;
}

HRESULT ToReal(const Scalar& s, double& value) {
    switch (s.kind) {
        case Scalar::Integer:
            value = static_cast<double>(s.i);
            return S_OK;
        case Scalar::Unsigned:
            value = static_cast<double>(s.u);
            return S_OK;
        case Scalar::Real:
            value = s.r;
            return S_OK;
        case Scalar::Text:
            return TextToReal(s, value);
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

bool EqualsNoCase(const std::string& a, const char* b) {
    return strcasecmp(a.c_str(), b) == 0;
}

HRESULT ToBool(const Scalar& s, bool& value) {
    if (s.kind == Scalar::Text) {
        std::string t = Trimmed(s.text);
        if (EqualsNoCase(t, "true")) return value = true, S_OK;
        if (EqualsNoCase(t, "false")) return value = false, S_OK;
    }
    double number;
    HRESULT hr = ToReal(s, number);
    if (hr == S_OK) value = number != 0;
    return hr;
}

HRESULT ToDate(const VARIANT& source, const Scalar& s, double& value) {
    COleDateTime date;
    if (s.kind == Scalar::Text) {
        if (!s.textUsable) return DISP_E_TYPEMISMATCH;
        date = COleDateTime(source);
    } else {
        HRESULT hr = ToReal(s, value);
        if (hr != S_OK) return hr;
        date = COleDateTime(value);
    }
    if (date.GetStatus() != COleDateTime::valid)
        return s.kind == Scalar::Text ? DISP_E_TYPEMISMATCH : DISP_E_OVERFLOW;
    value = date.m_dt;
    return S_OK;
}

BSTR AsciiBstr(const std::string& text) {
    std::u16string wide(text.begin(), text.end());
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

HRESULT ToText(const VARIANT& source, const Scalar& s, BSTR& value) {
    char buffer[64];
    switch (source.vt) {
        case VT_BSTR:
            value = SysAllocStringLen(source.bstrVal, SysStringLen(source.bstrVal));
            return value || !source.bstrVal ? S_OK : E_OUTOFMEMORY;
        case VT_R4:
        case VT_R8:
            snprintf(buffer, sizeof buffer, "%.15G", s.r);
            break;
        case VT_DATE: {
            SYSTEMTIME t;
            if (!COleDateTime(s.r).GetAsSystemTime(t)) return DISP_E_OVERFLOW;
            snprintf(buffer, sizeof buffer, "%04u-%02u-%02uT%02u:%02u:%02u", t.wYear, t.wMonth,
                     t.wDay, t.wHour, t.wMinute, t.wSecond);
            break;
        }
        case VT_UI8:
            snprintf(buffer, sizeof buffer, "%llu", s.u);
            break;
        default:
            snprintf(buffer, sizeof buffer, "%lld", s.i);
            break;
    }
    value = AsciiBstr(buffer);
    return value ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

HRESULT VariantChangeType(VARIANT* target, const VARIANT* source, USHORT, VARTYPE type) {
    if (!target || !source) return E_INVALIDARG;
    VARIANT result;
    VariantInit(&result);
    result.vt = type;
    if (source->vt == type && type != VT_BSTR) {
        result = *source;
    } else {
        Scalar s;
        HRESULT hr = ReadScalar(*source, s);
        if (hr != S_OK) return hr;
        long long n = 0;
        bool flag = false;
        switch (type) {
            case VT_I4:
            case VT_INT:
                hr = ToInteger(s, std::numeric_limits<int32_t>::min(),
                               std::numeric_limits<int32_t>::max(), n);
                result.lVal = static_cast<LONG>(n);
                break;
            case VT_UI4:
            case VT_UINT:
                hr = ToInteger(s, 0, std::numeric_limits<uint32_t>::max(), n);
                result.ulVal = static_cast<ULONG>(n);
                break;
            case VT_I8:
                hr = ToInteger(s, std::numeric_limits<long long>::min(),
                               std::numeric_limits<long long>::max(), n);
                result.llVal = n;
                break;
            case VT_R8:
                hr = ToReal(s, result.dblVal);
                break;
            case VT_BOOL:
                hr = ToBool(s, flag);
                result.boolVal = flag ? VARIANT_TRUE : VARIANT_FALSE;
                break;
            case VT_DATE:
                hr = ToDate(*source, s, result.date);
                break;
            case VT_BSTR:
                hr = ToText(*source, s, result.bstrVal);
                break;
            default:
                return DISP_E_BADVARTYPE;
        }
        if (hr != S_OK) return hr;
    }
    VariantClear(target);
    *target = result;
    return S_OK;
}

// ---- _com_error ------------------------------------------------------------------------------

const char* _com_error::ErrorMessage() const {
    struct Known {
        HRESULT hr;
        const char* text;
    };
    static const Known known[] = {
        {E_POINTER, "Invalid pointer"},
        {E_NOINTERFACE, "No such interface supported"},
        {E_FAIL, "Unspecified error"},
        {E_OUTOFMEMORY, "Not enough storage is available to complete this operation."},
        {E_INVALIDARG, "The parameter is incorrect."},
        {DISP_E_TYPEMISMATCH, "Type mismatch."},
        {DISP_E_OVERFLOW, "Out of present range."},
    };
    for (const Known& k : known)
        if (k.hr == m_hr) return k.text;
    snprintf(m_text, sizeof m_text, "Unknown error 0x%08X", static_cast<unsigned>(m_hr));
    return m_text;
}

void _com_issue_error(HRESULT hr) {
    throw _com_error(hr);
}
