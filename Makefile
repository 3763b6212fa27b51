# The two commands of the README:
#   make demo   installs what is missing, builds and starts WinVarno
#   make check  installs what is missing, builds and runs every test
# and what CI runs (about 25 minutes on two cores):
#   make ci     make format-check, make check, make sanitize, make tsan, make fuzz
# and the Debian package:
#   make package  builds $(PACKAGE_BUILD)/winvarno_<version>_<arch>.deb (scripts/package-test.sh tests it)
BUILD    ?= build
JOBS     ?= 2
PACKAGES := cmake ninja-build g++ qt6-base-dev qt6-qpa-plugins libgl-dev libgtest-dev \
            fonts-liberation qt6-translations-l10n dbus-daemon dbus-bin \
            xvfb at-spi2-core python3-gi gir1.2-atspi-2.0 \
            qt6-charts-dev qt6-svg-dev libfaketime libsystemd-dev pkg-config

.PHONY: demo check build deps shots bench package fuzz sanitize tsan release format format-check tidy ci clean

# Installs those of the Debian packages $(1) that are missing (as root, or with sudo;
# otherwise it prints the command for root and fails).
install-missing = @scripts/install-missing.sh $(1)

deps:
	$(call install-missing,$(PACKAGES))

# The development build: warnings are errors here (CMakePresets.json).
build: deps
	cmake --preset default -B $(BUILD)
	cmake --build $(BUILD) -j$(JOBS)

# Only what the demo runs, so the window comes up before the tests are built; configured
# as build does, so make check afterwards builds only the rest.
demo: deps
	cmake --preset default -B $(BUILD)
	cmake --build $(BUILD) -j$(JOBS) --target WinVarno varno-sim
	scripts/demo.sh $(BUILD)

check: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

# Every page, filled from the simulated exchange, as docs/<page>.png.
shots: build
	scripts/shots.sh $(BUILD) docs

# Timings of the read and write sequences against the simulated exchange (about a minute),
# then of the charge history on a 100 MB log, then of comparing configurations and of
# the configuration history with 10,000 versions, then the service winvarnod's start,
# idle CPU and memory over 1,000 reads (about seven minutes, on a session bus of its own).
bench: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j$(JOBS) --target winvarno-bench winvarno-reportbench \
	  winvarno-historybench winvarno-servicebench
	QT_QPA_PLATFORM=offscreen $(BUILD)/tools/bench/winvarno-bench
	QT_QPA_PLATFORM=offscreen $(BUILD)/tools/reportbench/winvarno-reportbench
	$(BUILD)/tools/historybench/winvarno-historybench
	$(BUILD)/tools/servicebench/winvarno-servicebench

# The package is built in a tree of its own with Debian's hardening flags from
# dpkg-buildflags (dpkg-dev); dpkg-shlibdeps (dpkg-dev, file) works out its library
# dependencies. It is meant to be run as yourself; run as root (scripts/package-test.sh
# is), the tree is handed back to the checkout's owner, so that make clean can remove it.
PACKAGE_BUILD ?= build-package
package: deps
	$(call install-missing,dpkg-dev file)
	export DEB_BUILD_MAINT_OPTIONS=hardening=+all; status=0; \
	{ cmake -S . -B $(PACKAGE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
	    -DCMAKE_CXX_FLAGS="$$(dpkg-buildflags --get CPPFLAGS) $$(dpkg-buildflags --get CXXFLAGS)" \
	    -DCMAKE_EXE_LINKER_FLAGS="$$(dpkg-buildflags --get LDFLAGS)" && \
	  cmake --build $(PACKAGE_BUILD) -j$(JOBS) --target package; } || status=$$?; \
	if [ "$$(id -u)" = 0 ] && [ -d $(PACKAGE_BUILD) ]; then chown -R --reference=. $(PACKAGE_BUILD); fi; \
	exit $$status

# Each fuzz target for FUZZ_SECONDS (default 20) on its seeds, in build-fuzz/ with clang.
FUZZ_SECONDS ?= 20
fuzz: deps
	$(call install-missing,clang-14 libclang-rt-14-dev)
	scripts/fuzz.sh $(FUZZ_SECONDS)

# The whole test suite under AddressSanitizer and UndefinedBehaviorSanitizer, in build-asan/.
sanitize: deps
	scripts/sanitize.sh

# The serial component and the transfer tests under ThreadSanitizer, in build-tsan/.
tsan: deps
	scripts/tsan.sh

# A Release build with warnings as errors, as a packager's compiler sees the code.
release: deps
	cmake --preset release
	cmake --build build-release -j$(JOBS)

# The C++ sources in the project's .clang-format style; format-check fails on drift.
CLANG_FORMAT ?= clang-format-14
format:
	git ls-files -z '*.cpp' '*.h' | xargs -0 $(CLANG_FORMAT) -i
format-check:
	$(call install-missing,clang-format-14)
	git ls-files -z '*.cpp' '*.h' | xargs -0 $(CLANG_FORMAT) --dry-run --Werror

# clang-tidy with the project's .clang-tidy over src/, on the compile commands of the
# development build (which it configures and builds as far as the program, for Qt's
# generated sources); any finding fails. Not part of CI: it took 43 minutes on the
# shared two-core machine beside other builds (README, Building).
CLANG_TIDY ?= clang-tidy-14
tidy: deps
	$(call install-missing,clang-tidy-14)
	cmake --preset default -B $(BUILD)
	cmake --build $(BUILD) -j$(JOBS) --target WinVarno
	git ls-files -z 'src/*.cpp' | xargs -0 -n 4 -P $(JOBS) $(CLANG_TIDY) -p $(BUILD) --quiet

# What CI runs: every test, then the sanitizer builds and a short run of each fuzz target.
ci:
	scripts/ci.sh

clean:
	rm -rf $(BUILD) $(PACKAGE_BUILD)
