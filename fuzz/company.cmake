# The company object file reader over arbitrary bytes.
quorvel_add_fuzzer(fuzz_company_reader fuzz_company_reader.cpp quorvel_company quorvel_platform Qt6::Core)
