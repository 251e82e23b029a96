// Shared test doubles live beside this file; this unit keeps the library non-empty.
