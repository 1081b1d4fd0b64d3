# Quick start: `make run` builds and starts the program, `make test` builds and runs every test.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local

.PHONY: all deps build run install package test bench fuzz clean format format-check

all: build

deps:
	scripts/install-deps

$(BUILD_DIR)/build.ninja:
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: deps $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) -j $(JOBS) --target rss-brevlin
	$(BUILD_DIR)/rss-brevlin

install: deps build
	cmake --install $(BUILD_DIR) --prefix $(PREFIX)

# The package step needs, beside the build's packages, dpkg-shlibdeps and file to find the
# libraries it depends on, and the validators that check what it installs.
PACKAGE_TOOLS = dpkg-dev file desktop-file-utils appstream groff-base

package: deps build
	scripts/install-deps $(PACKAGE_TOOLS)
	cmake --build $(BUILD_DIR) --target package
	scripts/check-package "$$(ls -t $(BUILD_DIR)/rss-brevlin_*.deb | head -n 1)"

# The tests get a private D-Bus session bus and no display. Chromium, under the page cache's
# tests, runs as root on CI only without its sandbox, and must not reach out on a closed network.
TEST_WEBENGINE_ENV = QTWEBENGINE_DISABLE_SANDBOX=1 \
	QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu --no-sandbox --disable-background-networking --disable-component-update"

# A proxy of the machine's would stand between the tests and their servers on 127.0.0.1.
TEST_NO_PROXY = env -u http_proxy -u HTTP_PROXY -u https_proxy -u HTTPS_PROXY -u all_proxy -u ALL_PROXY

test: deps build
	$(TEST_NO_PROXY) QT_QPA_PLATFORM=offscreen $(TEST_WEBENGINE_ENV) dbus-run-session -- ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

bench: deps build
	scripts/run-benchmarks $(BUILD_DIR)

fuzz: deps
	cmake -S . -B build-fuzz -G Ninja -DBREVLIN_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build-fuzz -j $(JOBS)

SOURCES = $(shell find app store model controller notify text platform tests bench fuzz -name '*.cpp' -o -name '*.h')

format:
	clang-format -i $(SOURCES)

format-check:
	clang-format --dry-run -Werror $(SOURCES)

clean:
	rm -rf $(BUILD_DIR) build-fuzz
