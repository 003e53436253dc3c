// Which earlier editions of the product are on the machine, from the registry keys (under
// HKEY_LOCAL_MACHINE, opened with KEY_READ) that each edition leaves. The predicates only read.
//
// Versions are strings of the form major.minor.build.revision with widths 1, 1, 3 and 3 ("1.0.002.000")
// and are compared with lstrcmpA, as text: "1.0.2" sorts after "1.0.002.000". A key that does not
// open, or a "Version" that cannot be read into 260 bytes, counts as absent.
#pragma once

// An Orvel Integrator V2.0.0, V2.0.1 or V2.0.2 key opens. Traced.
bool IsOrvelIntegrator();

// Quillex Pro's "Version" sorts before "1.0.002.000"; or Tesmir SDK's "Version" is "1.0.000.000"; or
// the Tesmir Integrator 1.0.000 key or the Quillex Pro 1.0.000 key opens. Traced.
bool IsVer101();

// Quillex Pro's "Version" sorts from "1.0.002.000" up to before "1.0.003.000"; or one of the other
// three conditions of IsVer101 (so those make both true). Traced.
bool IsVer102();

// The Quillex Pro key opens and its "Version" can be read. Not traced.
bool IsQuillexProInstalled();
