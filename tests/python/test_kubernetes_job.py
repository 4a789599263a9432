# SPDX-License-Identifier: MIT
"""The Kubernetes indexed Job in packaging/ parses and fits the image and the
CLI; no cluster runs it here."""

import json
import os
import re
import subprocess
import tempfile
import unittest

import yaml

SOURCE = os.environ["MV_SOURCE_DIR"]
CLI = os.environ["MV_CLI"]


def settings_of(resource):
    """The settings of a Kubernetes object or pod template: its one mapping
    beside the metadata."""
    (settings,) = [value for key, value in resource.items()
                   if isinstance(value, dict) and key != "metadata"]
    return settings


class KubernetesJobTest(unittest.TestCase):
    def setUp(self):
        with open(os.path.join(SOURCE, "packaging/kubernetes/marrowvale-job.yaml")) as manifest:
            self.job = yaml.safe_load(manifest)
        self.job_settings = settings_of(self.job)
        self.pod = settings_of(self.job_settings["template"])
        (self.container,) = self.pod["containers"]
        self.script = self.container["args"][0]

    def test_an_indexed_job_whose_shards_match_its_completions(self):
        self.assertEqual((self.job["apiVersion"], self.job["kind"]), ("batch/v1", "Job"))
        self.assertEqual(self.job_settings["completionMode"], "Indexed")
        self.assertEqual(self.pod["restartPolicy"], "Never")
        shards = re.search(r'--shard "\$shard/(\d+)"', self.script)
        self.assertIsNotNone(shards)
        self.assertEqual(int(shards.group(1)), self.job_settings["completions"])

    def test_runs_as_the_images_user_on_a_mounted_volume(self):
        with open(os.path.join(SOURCE, "packaging/Containerfile")) as containerfile:
            uid = int(re.search(r"--uid (\d+)", containerfile.read()).group(1))
        self.assertEqual(self.pod["securityContext"]["runAsUser"], uid)
        self.assertEqual(self.pod["securityContext"]["fsGroup"], uid)
        (mount,) = self.container["volumeMounts"]
        volumes = {volume["name"]: volume for volume in self.pod["volumes"]}
        self.assertIn("persistentVolumeClaim", volumes[mount["name"]])
        for path in re.findall(r"(/data/\S*)", self.script):
            self.assertTrue(path.startswith(mount["mountPath"] + "/"), path)

    def test_the_pods_command_covers_the_tree_once(self):
        # The entry point is the CLI itself: the arithmetic needs a shell.
        self.assertEqual(self.container["command"][:2], ["/bin/sh", "-c"])
        shards = self.job_settings["completions"]
        with tempfile.TemporaryDirectory() as data:
            for i in range(40):
                os.makedirs(os.path.join(data, "in", "d%d" % (i % 3)), exist_ok=True)
                with open(os.path.join(data, "in", "d%d" % (i % 3), "x%d.xml" % i), "w") as f:
                    f.write("<r><a>%d</a></r>" % i)
            script = self.script.replace("/data/", data + "/")
            env = {"PATH": os.path.dirname(CLI) + ":/usr/bin:/bin"}
            for index in range(shards):
                env["JOB_COMPLETION_INDEX"] = str(index)
                subprocess.run(["/bin/sh", "-c", script], env=env, check=True)
            sources = []
            for index in range(1, shards + 1):
                with open(os.path.join(data, "reports", "report-%d.jsonl" % index)) as report:
                    sources += [json.loads(line)["source"] for line in report]
            self.assertEqual(len(sources), 40)
            self.assertEqual(len(set(sources)), 40)
            results = sum(len(files) for _, _, files in os.walk(os.path.join(data, "out")))
            self.assertEqual(results, 40)


if __name__ == "__main__":
    unittest.main()
