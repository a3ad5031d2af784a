# The catalogue's reader over arbitrary files.
quorvel_add_fuzzer(fuzz_catalogue fuzz_catalogue.cpp quorvel_store Qt6::Gui)
