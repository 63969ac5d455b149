# Shortcuts for the scripts in scripts/.
.PHONY: run test bench fuzz deps clean

run:
	bash scripts/run-game.sh

test:
	bash scripts/run-tests.sh

bench:
	bash scripts/run-benchmarks.sh

fuzz:
	bash scripts/run-fuzzers.sh

deps:
	bash scripts/install-deps.sh

clean:
	rm -rf build
