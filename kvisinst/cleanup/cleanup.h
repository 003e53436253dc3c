// CleanUp: prepares the machine for the installation of one edition by taking off what earlier
// editions left - their COM registrations and files (through CDllList, so the files go at the next
// restart), their registry trees under "Software\Korvane" and their uninstall entries. The exports
// (plain and decorated, declared in kvisinst/exports.h) both run RunCleanUp.
//
// Edition identifiers, compared byte for byte: "QUILLEXPRO103" (Quillex Pro), "ORVELINTEGRATOR203"
// (Orvel Integrator), "ORVELSDK203" (the toolkit). Any other identifier, or none, runs only the steps
// that do not depend on it. Steps, in order:
//   1. the wait cursor is shown (the previous one comes back at the end);
//   2. MakeProductFilesWritable;
//   3. "QUILLEXPRO103": when IsVer101, or else IsOrvelIntegrator, list A is walked in the system
//      directory; then, when IsOrvelIntegrator asked again is false - the reason was an earlier
//      Quillex Pro or Tesmir edition, whose files list B names - list B is walked there too. List B
//      is not walked over an Orvel Integrator: that edition's files are its own and stay for it. The
//      shared trees go in any case;
//   4. "ORVELINTEGRATOR203": over an Orvel Integrator, RemoveOrvelIntegratorEntries;
//   5. "ORVELSDK203": RemoveToolkitEntries;
//   6. any identifier: when IsVer102, list C is walked in the "ProductPath" directory (when that value
//      reads) and the "Quillex Pro" tree goes.
// Nothing is reported: a key, value, file or list step that fails is passed over. Returns 1.
#pragma once

int RunCleanUp(const char* edition);

// The steps, each usable alone.

// Clears the read-only attribute of the product's files (productfiles.h) in each of their places; the
// process's current directory is changed while it runs and restored afterwards. Absent names, and
// places whose directory cannot be found or entered, are skipped.
void MakeProductFilesWritable();
// Deletes "Admin", "Applications", "Operations" and "QLMSubsystems" under HKEY_LOCAL_MACHINE
// "Software\Korvane", each with everything below it.
void RemoveSharedTrees();
// The shared trees, then the uninstall entry "Quillex Integrator Software-Orvel Edition V2.0.2" under
// both uninstall roots.
void RemoveOrvelIntegratorEntries();
// The shared trees, then the uninstall entry "Korvane Toolkit" under both uninstall roots.
void RemoveToolkitEntries();
// Deletes "Quillex Pro" under "Software\Korvane".
void RemoveQuillexProKey();
