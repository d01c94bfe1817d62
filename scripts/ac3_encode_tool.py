"""Builds the native ac3_encode_wav tool that the AC-3 measuring scripts run."""
import os
import subprocess

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def build(build_dir):
    """Configures and builds ac3_encode_wav in build_dir; returns its path."""
    subprocess.run(["cmake", "-S", ROOT, "-B", build_dir, "-DCMAKE_BUILD_TYPE=Release"], check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build_dir, "-j2", "--target", "ac3_encode_wav"], check=True,
                   stdout=subprocess.DEVNULL)
    return os.path.join(build_dir, "bench", "ac3_encode_wav")
