# One way to build, one way to test.  `make run` and `make test` install what is missing first.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

# Debian 12 packages the build, the tests and the app need.
PACKAGES := g++ cmake make pkg-config \
	qt6-base-dev qt6-serialport-dev qt6-svg-dev libqcustomplot-dev libqcustomplot2.1-qt6 \
	libgtest-dev libgmock-dev libbenchmark-dev libgl-dev \
	fonts-dejavu-core xvfb xauth

.PHONY: deps build test run bench install clean format

deps:
	@missing=""; for p in $(PACKAGES); do \
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

bench: deps
	$(MAKE) build
	@for b in $(BUILD_DIR)/bench/velmora-bench-*; do [ -x "$$b" ] && "$$b"; done

install: build
	cmake --install $(BUILD_DIR)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR)
