// The currency list and its lookup by case-folded spelling.
#include "runtime/datatypes/currency.hpp"

#include <array>

#include "runtime/datatypes/symbol.hpp"

namespace ixo::currency {

namespace {

constexpr std::array<const char*, COUNT> CODES = {
    "AED", "AFN", "ALL", "AMD", "ANG", "AOA", "ARS", "AUD", "AWG", "AZN", "BAM", "BBD", "BDT", "BTC",
    "BGN", "BHD", "BIF", "BMD", "BND", "BOB", "BRL", "BSD", "BTN", "BWP", "BYN", "BZD", "CAD", "CDF",
    "CHF", "CKD", "CLP", "CNY", "COP", "CRC", "CUC", "CUP", "CVE", "CZK", "DJF", "DKK", "DOP", "DZD",
    "EGP", "ERN", "ETB", "ETH", "EUR", "FJD", "FKP", "FOK", "GBP", "GEL", "GGP", "GHS", "GIP", "GMD",
    "GNF", "GTQ", "GYD", "HKD", "HNL", "HRK", "HTG", "HUF", "IDR", "ILS", "IMP", "INR", "IQD", "IRR",
    "ISK", "JEP", "JMD", "JOD", "JPY", "KES", "KGS", "KHR", "KID", "KMF", "KPW", "KRW", "KWD", "KYD",
    "KZT", "LAK", "LBP", "LKR", "LRD", "LSL", "LYD", "MAD", "MDL", "MGA", "MKD", "MMK", "MNT", "MOP",
    "MRU", "MUR", "MVR", "MWK", "MXN", "MYR", "MZN", "NAD", "NGN", "NIO", "NOK", "NPR", "NZD", "OMR",
    "PAB", "PEN", "PGK", "PHP", "PKR", "PLN", "PND", "PRB", "PYG", "QAR", "IXO", "RON", "RSD", "RUB",
    "RWF", "SAR", "SBD", "SCR", "SDG", "SEK", "SGD", "SHP", "SLL", "SLS", "SOS", "SRD", "SSP", "STN",
    "SYP", "SZL", "THB", "TJS", "TMT", "TND", "TOP", "TRY", "TTD", "TVD", "TWD", "TZS", "UAH", "UGX",
    "USD", "UYU", "UZS", "VES", "VND", "VUV", "WST", "CFA", "XAF", "XCD", "XOF", "CFP", "XPF", "YER",
    "ZAR", "ZMW",
};

// Canonical symbol ids, in list order.
std::array<int32_t, COUNT> symbols{};

}  // namespace

int32_t get_index(const cell* word) {
  int32_t id = symbol::resolve(static_cast<int32_t>(word->data2));
  for (int32_t i = 0; i < COUNT; ++i) {
    if (symbols[i] == id) return i + 1;
  }
  return -1;
}

int32_t symbol_at(int32_t index) { return symbols[index - 1]; }

const char* code_at(int32_t index) { return CODES[index - 1]; }

void init() {
  for (int32_t i = 0; i < COUNT; ++i) symbols[i] = symbol::resolve(symbol::make(CODES[i]));
}

}  // namespace ixo::currency
