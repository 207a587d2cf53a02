// The translation unit that the tests' precompiled headers are made for; it has no code.
