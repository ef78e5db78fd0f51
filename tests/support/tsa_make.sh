#!/bin/sh
# Makes a certificate authority and a time-stamping authority under it in DIR:
# ca.pem, tsa.pem, tsa.key and tsa.cnf for `openssl ts -reply`. KIND: rsa, ec, or
# gost (GOST R 34.10-2012, 256 bits, through OpenSSL's GOST engine: exits 3 where
# that is not installed).
set -eu
dir=$1
kind=${2:-ec}
cd "$dir"
device=builtin
digest=sha256
engine=
case $kind in
rsa) keyopt="-newkey rsa:2048" ;;
gost)
    openssl engine gost >/dev/null 2>&1 || exit 3
    engine="-engine gost"
    keyopt="$engine -newkey gost2012_256 -pkeyopt paramset:A"
    device=gost
    digest=md_gost12_256 ;;
*) keyopt="-newkey ec -pkeyopt ec_paramgen_curve:P-256" ;;
esac
openssl req -x509 $keyopt -nodes -keyout ca.key -out ca.pem -days 3650 -subj "/CN=Test TSA Root" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
openssl req $keyopt -nodes -keyout tsa.key -out tsa.csr -subj "/CN=Test TSA" 2>/dev/null
printf 'extendedKeyUsage=critical,timeStamping\nbasicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\n' > tsa.ext
openssl x509 $engine -req -in tsa.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out tsa.pem -days 3650 -extfile tsa.ext 2>/dev/null
cat > tsa.cnf <<CNF
[ tsa ]
default_tsa = tsa_config
[ tsa_config ]
dir = $dir
serial = $dir/tsaserial
crypto_device = $device
signer_cert = $dir/tsa.pem
certs = $dir/tsa.pem
signer_key = $dir/tsa.key
signer_digest = $digest
default_policy = 1.2.3.4.1
other_policies = 1.2.3.4.5
digests = sha256
accuracy = secs:1
ordering = no
tsa_name = no
ess_cert_id_chain = no
ess_cert_id_alg = sha256
CNF
echo 01 > tsaserial
