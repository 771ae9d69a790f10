# One way to build, one way to test.  `make run` and `make test` install what is missing first.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

# Debian 12 packages the build, the tests and the app need.
PACKAGES := g++ cmake make pkg-config \
	qt6-base-dev qt6-serialport-dev qt6-svg-dev libqcustomplot-dev libqcustomplot2.1-qt6 \
	libgtest-dev libgmock-dev libbenchmark-dev libgl-dev nlohmann-json3-dev \
	libnetcdf-dev netcdf-bin python3-xarray python3-netcdf4 \
	fonts-dejavu-core xvfb xauth locales

.PHONY: deps build test test-locale test-sanitize run bench fuzz install clean format

# Extra packages for the fuzzers (clang with its libFuzzer runtime) and for the benchmark
# report's reference script (Python with pandas and numpy).
FUZZ_PACKAGES := clang libclang-rt-14-dev
BENCH_PACKAGES := python3-pandas python3-numpy
SANITIZE_DIR ?= build-sanitize
FUZZ_DIR ?= build-fuzz
SECONDS ?= 60

deps:
	@missing=""; for p in $(PACKAGES) $(EXTRA_PACKAGES); do \
		dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
		echo "Installing:$$missing"; \
		$(SUDO) apt-get update -qq && \
		DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	else echo "All build packages present."; fi

$(BUILD_DIR)/CMakeCache.txt:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release

build: $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: deps
	$(MAKE) build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

run: deps
	$(MAKE) build
	@./scripts/run.sh $(BUILD_DIR)

# The whole suite again under a decimal-comma locale (de_DE.UTF-8, generated into the build
# folder): every file must come out byte for byte as under C.
LOCALE_DIR = $(abspath $(BUILD_DIR))/locale
test-locale: deps
	$(MAKE) build
	@[ -d $(LOCALE_DIR)/de_DE.UTF-8 ] || { mkdir -p $(LOCALE_DIR) && \
		localedef -c -i de_DE -f UTF-8 $(LOCALE_DIR)/de_DE.UTF-8 || [ -d $(LOCALE_DIR)/de_DE.UTF-8 ]; }
	cd $(BUILD_DIR) && LOCPATH=$(LOCALE_DIR) LC_ALL=de_DE.UTF-8 LANG=de_DE.UTF-8 \
		QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The whole suite again with AddressSanitizer and UndefinedBehaviorSanitizer; any report fails it.
test-sanitize: deps
	cmake -S . -B $(SANITIZE_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_SANITIZE=ON
	cmake --build $(SANITIZE_DIR) -j $(JOBS)
	cd $(SANITIZE_DIR) && QT_QPA_PLATFORM=offscreen \
		ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1 \
		LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
		UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
		ctest --output-on-failure -j $(JOBS)

# Every benchmark, then one table against the pandas reference script.
bench:
	$(MAKE) deps EXTRA_PACKAGES="$(BENCH_PACKAGES)"
	$(MAKE) build
	@./bench/report.sh $(BUILD_DIR)

# Each libFuzzer target for SECONDS seconds (clang build in $(FUZZ_DIR)).
fuzz:
	$(MAKE) deps EXTRA_PACKAGES="$(FUZZ_PACKAGES)"
	@./fuzz/run.sh $(FUZZ_DIR) $(SECONDS)

install: build
	cmake --install $(BUILD_DIR)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR)
