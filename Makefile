# Two commands for users; both install what is missing first.
#   make test   build everything (Linux tool, Windows DLL) and run every test
#   make demo   export the example scene and inspect the result
.PHONY: test demo setup build build-linux build-windows clean

setup:
	@scripts/setup

build-linux: setup
	cmake --preset linux >/dev/null
	cmake --build --preset linux

build-windows: setup build-linux
	cmake --preset windows >/dev/null
	cmake --build --preset windows

build: build-linux build-windows

test: build
	ctest --preset linux -j2
	ctest --preset windows

clean:
	rm -rf build demo-out
