// run_bench.cpp - placeholder until the save builder lands.
void RegisterRunBenchmarks() {}
