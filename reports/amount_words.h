#pragma once

// Amount in words for cheques and policy printouts, in the Mexican form
// "(DOS MILLONES QUINIENTOS MIL PESOS 00/100. M.N.)". Shared by the cheques of
// both programs and the policy printouts, so the text must stay exactly as
// the printed documents have always shown it, odd forms included
// ("DIEZ Y SEIS", "VEINTE Y UN", "DOS CIENTOS", "UN PESOS").

#include <string>
#include <string_view>

#include "dictionary/status.h"

namespace velmora {

// The text for the amount as picture "N*16.2" shows it: 16 characters, 13
// integer positions, the point, two cents; fill ('*') and blanks read as 0.
// Refused (err::ValueRefused, `text` left empty): any other shape, a
// negative sign, the "#" overflow, and amounts of a million millions or more,
// which the words cannot spell.
Status amountInWords(std::string_view field16, std::string& text);

// Same for a number, rounded half away from zero to the cent as typed
// (1.005 is 1.01). Negative amounts, NaN and infinities are refused; -0.0 is
// zero.
Status amountInWords(double amount, std::string& text);

}  // namespace velmora
