// The currency list and its lookup by case-folded spelling.
#include "runtime/datatypes/currency.hpp"

#include <algorithm>
#include <array>

#include "runtime/datatypes/action_types.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/object.hpp"
#include "runtime/datatypes/series.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/type_classes.hpp"

namespace ixo::currency {

namespace {

constexpr std::array<const char*, BUILT_IN> CODES = {
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

// The built-in codes' symbol ids, in list order.
std::array<int32_t, BUILT_IN> built_in{};

// system/locale/currencies/list, from its head; null while it does not
// exist.
const cell* live_list(int32_t& length) {
  constexpr int32_t SYSTEM_LOCALE = 10, LOCALE_CURRENCIES = 6, CURRENCIES_LIST = 0;
  const cell* list = object::system_field({SYSTEM_LOCALE, LOCALE_CURRENCIES, CURRENCIES_LIST});
  if (!list || TYPE_OF(list) != TYPE_BLOCK) return nullptr;
  length = std::min(series::rs_abs_length_q(list), MOST);
  return block::rs_abs_at(list, 0);
}


}  // namespace

int32_t get_index(const cell* word) {
  int32_t id = symbol::resolve(static_cast<int32_t>(word->data2));
  int32_t length = 0;
  if (const cell* codes = live_list(length)) {
    for (int32_t i = 0; i < length; ++i) {
      if (any_word_q(TYPE_OF(&codes[i])) && symbol::resolve(static_cast<int32_t>(codes[i].data2)) == id) return i + 1;
    }
    return -1;
  }
  for (int32_t i = 0; i < BUILT_IN; ++i) {
    if (built_in[i] == id) return i + 1;
  }
  return -1;
}

int32_t count() {
  int32_t length = 0;
  return live_list(length) ? length : BUILT_IN;
}

// A position the list no longer holds as a word (the list was replaced by
// hand) falls back on the built-in codes, so a money value always forms.
int32_t symbol_at(int32_t index) {
  int32_t length = 0;
  const cell* codes = live_list(length);
  if (codes && index <= length && any_word_q(TYPE_OF(&codes[index - 1]))) return static_cast<int32_t>(codes[index - 1].data2);
  return built_in[std::clamp(index, 1, BUILT_IN) - 1];
}

int32_t compare_codes(int32_t index1, int32_t index2) {
  return symbol::compare_spellings(symbol::entry_of(symbol_at(index1)), symbol::entry_of(symbol_at(index2)),
                                   COMP_SORT);
}

void init() {
  for (int32_t i = 0; i < BUILT_IN; ++i) built_in[i] = symbol::resolve(symbol::make(CODES[i]));
}

}  // namespace ixo::currency
